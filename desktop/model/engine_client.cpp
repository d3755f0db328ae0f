#include "desktop/model/engine_client.hpp"

#include <fstream>
#include <future>
#include <new>

#include "desktop/model/colour.hpp"
#include "desktop/model/number_text.hpp"
#include "desktop/model/stdout_tap.hpp"
#include "tavrix/call_params.hpp"
#include "tavrix/members.hpp"

namespace folvane {
namespace {

constexpr const char* kFailedCaption = "Folvane: stamping failed";

int32_t dispid(std::string_view name) {
    const tavrix::PropertyInfo* info = tavrix::findProperty(name);
    return info ? info->dispid : -1;
}

int32_t flag(bool on) {
    return on ? 1 : 0;
}

bool endsWith(const std::string& s, std::string_view tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The engine takes an input ending in ".txt" as a list of files, one per line.
bool isFileList(const std::string& input) {
    return endsWith(input, ".txt");
}

// The number of lines of a file list as the engine reads them; 0 when it cannot be read.
int listLength(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return 0;
    int lines = 0;
    char last = '\n';
    char c;
    while (in.get(c)) {
        if (c == '\n') ++lines;
        last = c;
    }
    return last == '\n' ? lines : lines + 1;
}

StampOutcome runStamp(EngineInstance* engine, const StampRequest& request) {
    StampOutcome outcome;
    for (const StampRequest::Property& p : request.properties) {
        HResult hr = kInvalidPointer;
        if (engine)
            hr = std::holds_alternative<int32_t>(p.value)
                     ? engine->putLong(p.dispid, std::get<int32_t>(p.value))
                     : engine->putText(p.dispid, std::get<std::string>(p.value));
        if (failed(hr)) {
            outcome.failure = hr;
            return outcome;
        }
    }
    if (!engine) {
        outcome.failure = kInvalidPointer;
        return outcome;
    }
    CallAnswer answer;
    outcome.failure = engine->getTavrixFile(request.input, request.output, request.params, answer);
    outcome.result = std::move(answer.result);
    outcome.reason = std::move(answer.reason);
    outcome.kind = answer.kind;
    return outcome;
}

} // namespace

// What lives on the engine thread: the runtime's apartment and the engine instances created in it.
struct EngineClient::EngineThreadState {
    std::unique_ptr<EngineInstance> stamping;
    std::unique_ptr<EngineInstance> previewing; // its own instance: a preview never changes the
                                                // properties that Apply Text leaves behind
    bool runtimeUp = false;
    PreviewFiles files;
};

std::string InputAccess::params() const {
    std::string text;
    if (password) text += "password=" + tavrix::escapeOptionValue(*password) + ";";
    if (repair) text += "repair=1;";
    return text;
}

StampRequest stampRequest(const PageParameters& p, const TokenExpander& expander) {
    // The three texts are expanded before the first of them is assigned.
    const std::string prefix = expander.expand(p.prefixText, p.inputPath);
    const std::string sep = expander.expand(p.separatorText, p.inputPath);
    const std::string end = expander.expand(p.endText, p.inputPath);

    const PositionSet& at = p.shown;
    // The CMYK colour is sent only while "Use CMYK" is on: the engine prefers a non-zero
    // CMYKcolor over color, and an earlier CMYK choice must not override the colour shown.
    const int32_t cmyk = p.useCmyk ? engineCmyk(Cmyk{p.cmykC, p.cmykM, p.cmykY, p.cmykK}) : 0;

    StampRequest r;
    auto put = [&r](const char* name, std::variant<int32_t, std::string> value) {
        r.properties.push_back({dispid(name), std::move(value)});
    };
    put("startPage", p.firstPage);
    put("endPage", p.lastPage);
    put("startNumber", p.firstNumber);
    put("endNumber", p.lastNumber);
    put("mask", p.maskDigits);
    put("nth", p.nth);
    put("onePageNo", flag(p.onePageNumberOnly));
    put("seq", flag(p.sequential));
    put("up2", flag(p.twoUp));
    put("ab2", flag(p.abTwoUp));
    put("nopg", flag(p.noPageNumbers));
    put("romUpper", flag(p.romanUpper));
    put("rom", flag(p.romanLower));
    put("noforce", flag(!p.forcePortrait));
    put("reverse", flag(p.reverse));
    put("font", p.fontName);
    put("fontSize", truncateToInt32(p.fontSize));
    put("fontAngle", p.angleDegrees);
    put("opacity", p.opacityPercent);
    put("color", engineRgb(p.textColor));
    put("CMYKcolor", cmyk);
    put("fliph", flag(at.fromRight));
    put("flipv", flag(at.fromTop));
    put("posv", truncateToInt32(at.vertical));
    put("posh", truncateToInt32(at.horizontal));
    put("prefix", prefix);
    put("sep", sep);
    put("end", end);
    // With no align flag set the property is left as the engine holds it.
    if (at.alignLeft)
        put("align", std::string("left"));
    else if (at.alignRight)
        put("align", std::string("right"));
    else if (at.alignCenter)
        put("align", std::string("center"));
    r.input = p.inputPath;
    r.output = p.outputPath;
    return r;
}

EngineClient::EngineClient(EngineRuntime& runtime, Platform& platform,
                           const TokenExpander& expander, std::unique_ptr<EngineWorker> worker)
    : runtime_(runtime), platform_(platform), expander_(expander), worker_(std::move(worker)),
      thread_(std::make_shared<EngineThreadState>()) {}

EngineClient::~EngineClient() {
    close();
    *alive_ = false;
}

void EngineClient::report(HResult hr) {
    platform_.showError(runtime_.errorMessage(hr), kProgramCaption);
}

bool EngineClient::open() {
    std::promise<HResult> answer;
    std::future<HResult> result = answer.get_future();
    worker_->post([this, state = thread_, &answer] {
        HResult hr = runtime_.initialize();
        if (!failed(hr)) {
            state->runtimeUp = true;
            hr = runtime_.createEngine(state->stamping);
            if (failed(hr)) {
                state->stamping.reset();
                if (hr != kNoInterface) {
                    runtime_.uninitialize();
                    state->runtimeUp = false;
                }
            }
        }
        answer.set_value(hr);
    });
    const HResult hr = result.get();
    hasEngine_ = !failed(hr);
    if (hr == kNoInterface || !failed(hr)) return true;
    if (hr == kClassNotRegistered)
        platform_.showError("The stamping engine is not registered. Run: tavrix --register",
                            kProgramCaption);
    else
        report(hr);
    return false;
}

void EngineClient::showOutcome(const std::string& output, const StampOutcome& outcome) {
    if (failed(outcome.failure)) {
        platform_.showError(runtime_.errorMessage(outcome.failure), kFailedCaption);
        return;
    }
    if (outcome.stamped()) {
        platform_.showMessage("Done!\n\nOutput file: " + output + "\n\n" + outcome.result,
                              kProgramCaption, Buttons::Ok);
        return;
    }
    // The result text is the same for every failure; the reason says what happened.
    std::string why = outcome.reason.empty() ? outcome.result : outcome.reason;
    while (!why.empty() && (why.back() == '\n' || why.back() == '\r'))
        why.pop_back();
    platform_.showError("Stamping failed.\n\n" + why + "\n\nOutput file: " + output,
                        kFailedCaption);
}

bool EngineClient::applyText(PageParameters& p) {
    storeShownPosition(p);
    if (p.inputPath.empty()) {
        platform_.showMessage("No input filename specified");
        return false;
    }
    if (p.outputPath.empty()) {
        platform_.showMessage("No output filename specified");
        return false;
    }
    if (stamping_ || closed_) return false;

    StampRequest request;
    InputAccess known;
    try {
        request = stampRequest(p, expander_);
        known = access(p.inputPath);
        request.params = known.params();
    } catch (const std::bad_alloc&) {
        report(kOutOfMemory);
        return false;
    }
    stamping_ = true;
    stamp(std::move(request), std::move(known), true);
    return true;
}

InputAccess EngineClient::access(const std::string& input) const {
    const auto it = access_.find(input);
    return it == access_.end() ? InputAccess{} : it->second;
}

void EngineClient::stamp(StampRequest request, InputAccess access, bool first) {
    const std::weak_ptr<bool> alive = alive_;
    auto onUi = [this, alive](std::function<void()> work) {
        platform_.postToUi([this, alive, work = std::move(work)] {
            const auto a = alive.lock();
            if (a && *a && !closed_) work();
        });
    };
    worker_->post([this, state = thread_, request = std::move(request), access = std::move(access),
                   first, onUi]() mutable {
        const int files = isFileList(request.input) ? listLength(request.input) : 0;
        if (first)
            onUi([this, files] {
                if (listener_) listener_->stampStarted(files);
            });
        StampOutcome outcome;
        {
            // A list's progress is read from the engine's progress lines, which still reach the
            // terminal as before.
            FileStartCounter counter;
            std::function<void(std::string_view)> follow;
            if (files > 0)
                follow = [this, &counter, files, onUi, last = 0](std::string_view chunk) mutable {
                    const int started = counter.add(chunk);
                    if (started == last) return;
                    last = started;
                    onUi([this, started, files] {
                        if (listener_) listener_->stampProgress(started, files);
                    });
                };
            StdoutTap tap(std::move(follow), true);
            outcome = runStamp(state->stamping.get(), request);
        }
        onUi([this, request = std::move(request), access = std::move(access), outcome]() mutable {
            stampEnded(std::move(request), std::move(access), outcome);
        });
    });
}

std::optional<InputAccess> EngineClient::askAccess(const InputAccess& tried,
                                                   tavrix::FailureKind kind, bool& offered) {
    using tavrix::FailureKind;
    offered = false;
    InputAccess next = tried;
    if (kind == FailureKind::PasswordNeeded || kind == FailureKind::OwnerPasswordNeeded) {
        offered = true;
        // The caption says why the question comes again.
        const std::string caption = kind == FailureKind::OwnerPasswordNeeded
                                        ? "Folvane: changes need the owner password"
                                    : tried.password ? "Folvane: that password does not open it"
                                                     : kProgramCaption;
        std::optional<std::string> password = platform_.askPassword(kPasswordPrompt, caption);
        if (!password) return std::nullopt;
        next.password = std::move(*password);
        return next;
    }
    // A repair that was made already cannot be offered again.
    if (kind == FailureKind::RepairNeeded && !tried.repair) {
        offered = true;
        if (platform_.showMessage(kRepairPrompt, kProgramCaption, Buttons::YesNo) != Answer::Yes)
            return std::nullopt;
        next.repair = true;
        return next;
    }
    return std::nullopt;
}

void EngineClient::stampEnded(StampRequest request, InputAccess access,
                              const StampOutcome& outcome) {
    // A single file refused as protected or damaged: the same request once more, with what the
    // user gives to open it. A list's failures are its files' own, and are only shown.
    if (!failed(outcome.failure) && !outcome.stamped() && !isFileList(request.input)) {
        bool offered = false;
        if (std::optional<InputAccess> next = askAccess(access, outcome.kind, offered)) {
            request.params = next->params();
            stamp(std::move(request), std::move(*next), false);
            return;
        }
        if (offered) {
            // Declined: the question was the answer; nothing more is shown.
            stamping_ = false;
            if (listener_) listener_->stampFinished();
            return;
        }
    }
    stamping_ = false;
    if (outcome.stamped() && access != InputAccess{} && this->access(request.input) != access) {
        access_[request.input] = access;
        if (listener_) listener_->inputAccessChanged();
    }
    if (listener_) listener_->stampFinished();
    showOutcome(request.output, outcome);
}

void EngineClient::preview(StampRequest request, std::function<void(PreviewOutcome)> done) {
    if (closed_) return;
    const std::weak_ptr<bool> alive = alive_;
    worker_->post([this, state = thread_, request = std::move(request), done = std::move(done),
                   alive]() mutable {
        PreviewOutcome out;
        if (!state->previewing && state->runtimeUp) {
            const HResult hr = runtime_.createEngine(state->previewing);
            if (failed(hr)) state->previewing.reset();
        }
        request.output = state->files.nextPath();
        if (request.output.empty()) {
            out.stamp.failure = kOutOfMemory;
            out.stamp.reason = "cannot make a temporary folder for the preview";
        } else {
            {
                // The preview's progress lines would only clutter the terminal.
                StdoutTap quiet(nullptr, false);
                out.stamp = runStamp(state->previewing.get(), request);
            }
            if (out.stamp.stamped())
                out.file = state->files.take(request.output);
            else
                state->files.discard(request.output);
        }
        platform_.postToUi([alive, done = std::move(done), out = std::move(out)]() mutable {
            const auto a = alive.lock();
            if (a && *a) done(std::move(out));
        });
    });
}

void EngineClient::close() {
    if (closed_) return;
    closed_ = true;
    // Engines are released, and the runtime ended, on the thread that created them.
    worker_->finish([this, state = thread_] {
        state->stamping.reset();
        state->previewing.reset();
        if (state->runtimeUp) runtime_.uninitialize();
        state->runtimeUp = false;
    });
    hasEngine_ = false;
}

} // namespace folvane
