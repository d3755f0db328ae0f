// Test doubles for the desktop model: a scripted platform and a recording engine runtime.
#pragma once

#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "desktop/model/cmyk_form.hpp"
#include "desktop/model/engine_client.hpp"
#include "desktop/model/engine_worker.hpp"
#include "desktop/model/platform.hpp"
#include "desktop/model/text_tokens.hpp"

namespace folvane::testing {

struct ShownMessage {
    std::string text;
    std::string caption;
    Buttons buttons;
    Tone tone;
};

// Fires only when the test says so.
class FakeTimer : public Timer {
  public:
    void start(int, std::function<void()> fire) override { fire_ = std::move(fire); }
    void stop() override { fire_ = nullptr; }
    bool fire() {
        if (!fire_) return false;
        auto f = std::move(fire_);
        fire_ = nullptr;
        f();
        return true;
    }

  private:
    std::function<void()> fire_;
};

class FakePlatform : public Platform {
  public:
    using Platform::showMessage;

    Answer showMessage(const std::string& text, const std::string& caption, Buttons buttons,
                       Tone tone) override {
        messages.push_back({text, caption, buttons, tone});
        if (buttons == Buttons::Ok) return Answer::Ok;
        if (answers.empty()) return Answer::Cancel;
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<std::string> askPassword(const std::string& text,
                                           const std::string& caption) override {
        messages.push_back({text, caption, Buttons::Ok, Tone::Information});
        if (passwords.empty()) return std::nullopt;
        auto p = passwords.front();
        passwords.pop_front();
        return p;
    }
    std::optional<std::string> chooseFileToOpen(const FileChoice& choice) override {
        return nextFile(choice);
    }
    std::optional<std::string> chooseFileToSave(const FileChoice& choice) override {
        return nextFile(choice);
    }
    std::optional<uint32_t> chooseColor(uint32_t current) override {
        colourShownFirst = current;
        return colour;
    }
    bool editCmyk(CmykForm& form) override { return cmykEditor ? cmykEditor(form) : false; }
    void openWithShell(const std::string& path) override { opened.push_back(path); }
    // Work for the user-interface thread runs at once: the tests drive one thread.
    void postToUi(std::function<void()> work) override { work(); }
    std::unique_ptr<Timer> createTimer() override {
        auto timer = std::make_unique<FakeTimer>();
        timers.push_back(timer.get());
        return timer;
    }
    // Fires every pending timer; false when none was pending.
    bool fireTimers() {
        bool any = false;
        for (FakeTimer* t : timers)
            any = t->fire() || any;
        return any;
    }

    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& m : messages)
            out.push_back(m.text);
        return out;
    }

    std::vector<ShownMessage> messages;
    std::deque<Answer> answers;                       // for Yes/No/Cancel questions
    std::deque<std::optional<std::string>> passwords; // typed into password questions, in order
    std::deque<std::optional<std::string>> files;     // chooser results in order
    std::vector<FileChoice> choices;                  // what the choosers were asked
    std::optional<uint32_t> colour;
    std::optional<uint32_t> colourShownFirst;
    std::vector<FakeTimer*> timers;
    std::function<bool(CmykForm&)> cmykEditor;
    std::vector<std::string> opened;

  private:
    std::optional<std::string> nextFile(const FileChoice& choice) {
        choices.push_back(choice);
        if (files.empty()) return std::nullopt;
        auto f = files.front();
        files.pop_front();
        return f;
    }
};

// One recorded property assignment or call.
struct EngineCall {
    std::string name; // property name, or "getTavrixFile"
    int32_t value = 0;
    std::string text;
};

class RecordingEngine : public EngineInstance {
  public:
    explicit RecordingEngine(std::vector<EngineCall>& log) : log_(log) {}
    HResult putLong(int32_t dispid, int32_t value) override;
    HResult putText(int32_t dispid, const std::string& value) override;
    HResult getTavrixFile(const std::string& input, const std::string& output,
                          const std::string& params, CallAnswer& answer) override {
        log_.push_back({"getTavrixFile", 0, input + "|" + output + "|" + params});
        if (onStamp) onStamp(output, params);
        answer.result = resultText;
        answer.reason = reasonText;
        answer.kind = kind;
        return methodResult;
    }

    std::string resultText;
    std::string reasonText;
    tavrix::FailureKind kind = tavrix::FailureKind::Other;
    // Called in each getTavrixFile, which may change what the call answers.
    std::function<void(const std::string& output, const std::string& params)> onStamp;
    HResult methodResult = kOk;
    std::string failOn; // property whose assignment fails
    HResult failure = static_cast<HResult>(0x80020009);

  private:
    std::vector<EngineCall>& log_;
};

class FakeRuntime : public EngineRuntime {
  public:
    HResult initialize() override {
        ++initializeCount;
        return initResult;
    }
    void uninitialize() override { ++uninitializeCount; }
    HResult createEngine(std::unique_ptr<EngineInstance>& engine) override {
        if (createResult < 0) return createResult;
        auto e = std::make_unique<RecordingEngine>(calls);
        lastEngine = e.get();
        configure(*e);
        engine = std::move(e);
        return kOk;
    }
    std::string errorMessage(HResult hr) override {
        for (const auto& [code, text] : knownMessages)
            if (code == hr) return text;
        char buf[32];
        std::snprintf(buf, sizeof buf, "error 0x%08X", static_cast<unsigned>(hr));
        return buf;
    }

    HResult initResult = kOk;
    HResult createResult = kOk;
    int initializeCount = 0;
    int uninitializeCount = 0;
    std::vector<EngineCall> calls;
    RecordingEngine* lastEngine = nullptr;
    std::function<void(RecordingEngine&)> configure = [](RecordingEngine&) {};
    std::vector<std::pair<HResult, std::string>> knownMessages;
};

// 5 December 2026, 14:07:09, a Saturday.
inline LocalTime fixedTime() {
    return LocalTime{2026, 12, 5, 14, 7, 9};
}
inline TokenExpander fixedExpander() {
    return TokenExpander(fixedTime, [](const std::string&) { return FileTimes{}; });
}

} // namespace folvane::testing
