// EngineClient: holds the program's engine and turns Apply Text into property assignments and one
// getTavrixFile call; the page preview makes the same calls into a file of its own. The engine is
// reached only through the automation runtime (EngineRuntime), on the engine thread
// (EngineWorker); results come back to the user-interface thread through the platform.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "desktop/model/engine_worker.hpp"
#include "desktop/model/page_parameters.hpp"
#include "desktop/model/platform.hpp"
#include "desktop/model/preview_files.hpp"
#include "desktop/model/text_tokens.hpp"
#include "tavrix/failure_kind.hpp"

namespace folvane {

using HResult = int32_t;
inline constexpr HResult kOk = 0;
inline constexpr HResult kNoInterface = static_cast<HResult>(0x80004002);
inline constexpr HResult kInvalidPointer = static_cast<HResult>(0x80004003);
inline constexpr HResult kOutOfMemory = static_cast<HResult>(0x8007000E);
inline constexpr HResult kClassNotRegistered = static_cast<HResult>(0x80040154);

inline bool failed(HResult hr) {
    return hr < 0;
}

// What one getTavrixFile call answered.
struct CallAnswer {
    std::string result; // the method's result text (empty after a successful run)
    // The engine's own words for a failure, and its kind, from the automation error channel
    // (the error object's description and help context), when it gives them.
    std::string reason;
    tavrix::FailureKind kind = tavrix::FailureKind::Other;
};

// One engine instance as the client sees it: put-only properties by dispatch identifier and the
// stamping method. Texts are UTF-8 here; the binding converts them for the call.
class EngineInstance {
  public:
    virtual ~EngineInstance() = default;
    virtual HResult putLong(int32_t dispid, int32_t value) = 0;
    virtual HResult putText(int32_t dispid, const std::string& value) = 0;
    virtual HResult getTavrixFile(const std::string& input, const std::string& output,
                                  const std::string& params, CallAnswer& answer) = 0;
};

// The automation runtime of the engine thread.
class EngineRuntime {
  public:
    virtual ~EngineRuntime() = default;
    virtual HResult initialize() = 0; // single-threaded apartment
    virtual void uninitialize() = 0;
    // Creates the engine's class by its class identifier, runs it and asks for its interface.
    virtual HResult createEngine(std::unique_ptr<EngineInstance>& engine) = 0;
    // The runtime's text for a failed status ("IDispatch error #n", "Unknown error 0x..." when
    // the system has none).
    virtual std::string errorMessage(HResult hr) = 0;
};

// Everything one stamping call sends to the engine: the property assignments in their fixed order
// and the method's arguments.
struct StampRequest {
    struct Property {
        int32_t dispid;
        std::variant<int32_t, std::string> value;
        bool operator==(const Property&) const = default;
    };
    std::vector<Property> properties;
    std::string input, output, params;
    bool operator==(const StampRequest&) const = default;
};

// The request for `p` (paths checked by the caller), with the texts' tokens expanded.
StampRequest stampRequest(const PageParameters& p, const TokenExpander& expander);

// How a stamping call ended.
struct StampOutcome {
    HResult failure = kOk; // the first automation call that failed, else kOk
    std::string result;    // the method's result text: empty when every file was stamped
    std::string reason;    // the engine's reason for a failed run, when it gave one
    // Whether a password or a repair could mend the failure.
    tavrix::FailureKind kind = tavrix::FailureKind::Other;
    // A file list's result text is that of its last file, so an earlier failure shows only in
    // the reason.
    bool stamped() const { return !failed(failure) && result.empty() && reason.empty(); }
};

// Told about a running Apply Text, on the user-interface thread.
class StampListener {
  public:
    virtual ~StampListener() = default;
    virtual void stampStarted(int /*fileCount*/) {} // 0 for a single file
    virtual void stampProgress(int /*filesStarted*/, int /*fileCount*/) {}
    virtual void stampFinished() {}
    // A password or a repair now opens an input that needed one (see EngineClient::access).
    virtual void inputAccessChanged() {}
};

// What opens an input that the engine refused as it was: the password the user gave for it (an
// encrypted file) and whether they agreed to have it repaired (damaged cross-reference data).
struct InputAccess {
    std::optional<std::string> password;
    bool repair = false;
    // The getTavrixFile params that ask for them; empty when nothing is asked, as ever.
    std::string params() const;
    bool operator==(const InputAccess&) const = default;
};

inline constexpr const char* kPasswordPrompt =
    "This PDF is protected. Password (leave empty to try without):";
inline constexpr const char* kRepairPrompt = "This PDF is damaged. Repair it and stamp?";

// A preview run's product: the stamped file, or why there is none.
struct PreviewOutcome {
    StampOutcome stamp;
    std::shared_ptr<FileHandle> file; // set when the engine wrote the file
};

class EngineClient {
  public:
    EngineClient(EngineRuntime& runtime, Platform& platform, const TokenExpander& expander,
                 std::unique_ptr<EngineWorker> worker);
    ~EngineClient();
    EngineClient(const EngineClient&) = delete;
    EngineClient& operator=(const EngineClient&) = delete;

    void setListener(StampListener* listener) { listener_ = listener; }

    // Initialises the runtime on the engine thread and creates the engine there, waiting for the
    // answer. False after a reported failure, when the window skips the rest of its start-up; a
    // missing interface leaves the client empty but answers true.
    bool open();
    // Stores the shown placement, checks the paths, and stamps on the engine thread: every
    // property, then one getTavrixFile. The result or the first failure is shown when the run
    // ends. A single file refused as encrypted or damaged is offered the way to open it (its
    // password, a repair) and stamped again with the same request; what opened it is kept for
    // that input (access()). False when nothing was started.
    bool applyText(PageParameters& p);
    // What opened `input` in an earlier Apply Text, or the empty access.
    InputAccess access(const std::string& input) const;
    bool stamping() const { return stamping_; }
    // Runs `request` on the preview's own engine instance into a private file; `done` gets the
    // outcome on the user-interface thread.
    void preview(StampRequest request, std::function<void(PreviewOutcome)> done);
    // Waits for the engine thread's work, releases the engines and ends the runtime there.
    void close();

    bool hasEngine() const { return hasEngine_; }

  private:
    struct EngineThreadState;
    void report(HResult hr);
    void showOutcome(const std::string& output, const StampOutcome& outcome);
    // Runs `request` (whose params ask for `access`) on the engine thread; its end comes to
    // stampEnded on the user-interface thread.
    void stamp(StampRequest request, InputAccess access, bool first);
    void stampEnded(StampRequest request, InputAccess access, const StampOutcome& outcome);
    // The access the user chooses for another try after a refusal of `kind`; nullopt when they
    // decline, or when there is nothing to offer (`offered` says which).
    std::optional<InputAccess> askAccess(const InputAccess& tried, tavrix::FailureKind kind,
                                         bool& offered);

    EngineRuntime& runtime_;
    Platform& platform_;
    const TokenExpander& expander_;
    std::unique_ptr<EngineWorker> worker_;
    // Owned by the engine thread once open() has run; the client only hands it to jobs.
    std::shared_ptr<EngineThreadState> thread_;
    // Completions posted to the user-interface thread check that the client still lives.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    StampListener* listener_ = nullptr;
    // By input path; read and written on the user-interface thread only.
    std::map<std::string, InputAccess> access_;
    bool hasEngine_ = false;
    bool stamping_ = false;
    bool closed_ = false;
};

} // namespace folvane
