// EngineClient: holds the one engine instance of the program and turns Apply Text into property
// assignments and one getTavrixFile call. The instance is reached only through the automation
// runtime (EngineRuntime); the program never links the engine.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "desktop/model/page_parameters.hpp"
#include "desktop/model/platform.hpp"
#include "desktop/model/text_tokens.hpp"

namespace folvane {

using HResult = int32_t;
inline constexpr HResult kOk = 0;
inline constexpr HResult kNoInterface = static_cast<HResult>(0x80004002);
inline constexpr HResult kInvalidPointer = static_cast<HResult>(0x80004003);
inline constexpr HResult kOutOfMemory = static_cast<HResult>(0x8007000E);
inline constexpr HResult kUnexpected = static_cast<HResult>(0x8000FFFF);

inline bool failed(HResult hr) {
    return hr < 0;
}

// One engine instance as the client sees it: put-only properties by dispatch identifier and the
// stamping method. Texts are UTF-8 here; the binding converts them for the call.
class EngineInstance {
  public:
    virtual ~EngineInstance() = default;
    virtual HResult putLong(int32_t dispid, int32_t value) = 0;
    virtual HResult putText(int32_t dispid, const std::string& value) = 0;
    virtual HResult getTavrixFile(const std::string& input, const std::string& output,
                                  const std::string& params, std::string& result) = 0;
};

// The automation runtime for the user-interface thread.
class EngineRuntime {
  public:
    virtual ~EngineRuntime() = default;
    virtual HResult initialize() = 0; // single-threaded apartment
    virtual void uninitialize() = 0;
    // Creates the engine's class by its class identifier, runs it and asks for its interface.
    virtual HResult createEngine(std::unique_ptr<EngineInstance>& engine) = 0;
    // The system's message text for a status code, if it has one.
    virtual std::optional<std::string> systemMessage(HResult hr) = 0;
};

// The text shown for a failed status: the system text without its trailing line break, else
// "IDispatch error #n" for the interface-defined range, else "Unknown error 0x...".
std::string errorText(HResult hr, EngineRuntime& runtime);

class EngineClient {
  public:
    EngineClient(EngineRuntime& runtime, Platform& platform, const TokenExpander& expander);
    ~EngineClient();
    EngineClient(const EngineClient&) = delete;
    EngineClient& operator=(const EngineClient&) = delete;

    // Initialises the runtime and creates the engine. False after a reported failure, when the
    // window skips the rest of its start-up; a missing interface leaves the client empty but
    // answers true.
    bool open();
    // Stores the shown placement, checks the paths, sets every property and stamps one file;
    // shows the result or the first failure.
    void applyText(PageParameters& p);
    // Releases the engine; `shutDownRuntime` also ends the runtime for the thread.
    void close(bool shutDownRuntime);

    bool hasEngine() const { return engine_ != nullptr; }

  private:
    void report(HResult hr);

    EngineRuntime& runtime_;
    Platform& platform_;
    const TokenExpander& expander_;
    std::unique_ptr<EngineInstance> engine_;
    bool runtimeUp_ = false;
};

} // namespace folvane
