#include "desktop/model/page_preview.hpp"

#include <algorithm>
#include <sys/stat.h>

namespace folvane {
namespace {

constexpr const char* kNoInput = "Choose an input PDF file to see the stamp on its pages.";
constexpr const char* kFileList =
    "The input is a list of files: the preview shows single PDF files only.";
constexpr const char* kNoEngine = "The stamping engine is not available, so there is no preview.";

} // namespace

PagePreview::PagePreview(EngineClient& engine, Platform& platform, EngineRuntime& runtime)
    : engine_(engine), runtime_(runtime), timer_(platform.createTimer()) {}

void PagePreview::changed() {
    if (observer_) observer_->pagePreviewChanged();
}

void PagePreview::showMessage(State state, std::string message) {
    state_ = state;
    message_ = std::move(message);
    file_.reset();
    pageCount_ = 0;
}

void PagePreview::update(const PageParameters& draft, const TokenExpander& expander) {
    if (draft.inputPath != input_) {
        input_ = draft.inputPath;
        page_ = 1;
    }
    const bool list = draft.inputPath.size() >= 4 &&
                      draft.inputPath.compare(draft.inputPath.size() - 4, 4, ".txt") == 0;
    if (draft.inputPath.empty() || list || !engine_.hasEngine()) {
        timer_->stop();
        waiting_ = false;
        wanted_.reset();
        shown_.reset();
        showMessage(State::NoInput, draft.inputPath.empty() ? kNoInput
                                    : list                  ? kFileList
                                                            : kNoEngine);
        changed();
        return;
    }
    Key key;
    key.request = stampRequest(draft, expander);
    const InputAccess access = engine_.access(draft.inputPath);
    key.request.params = access.params();
    key.password = access.password;
    struct stat st;
    if (::stat(draft.inputPath.c_str(), &st) == 0) {
        key.size = st.st_size;
        key.modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    }
    if (wanted_ == key) return;
    wanted_ = std::move(key);
    if (shown_ == wanted_ && !running_) {
        timer_->stop();
        waiting_ = false;
        changed();
        return;
    }
    waiting_ = true;
    timer_->start(kDelayMilliseconds, [this] {
        waiting_ = false;
        launch();
    });
    changed();
}

void PagePreview::launch() {
    if (running_ || !wanted_) return; // a finished run starts the next one
    running_ = true;
    const Key key = *wanted_;
    engine_.preview(key.request,
                    [this, key](PreviewOutcome outcome) { finished(key, std::move(outcome)); });
    changed();
}

void PagePreview::finished(const Key& key, PreviewOutcome outcome) {
    running_ = false;
    if (wanted_ != key) {
        // The settings changed while the engine ran: this file is stale and never shown.
        if (wanted_ && !waiting_) launch();
        changed();
        return;
    }
    shown_ = key;
    if (outcome.file) {
        state_ = State::Shown;
        message_.clear();
        file_ = std::move(outcome.file);
        password_ = key.password;
        ++generation_;
    } else if (failed(outcome.stamp.failure) && outcome.stamp.reason.empty()) {
        showMessage(State::Refused, runtime_.errorMessage(outcome.stamp.failure));
    } else {
        std::string why =
            outcome.stamp.reason.empty() ? outcome.stamp.result : outcome.stamp.reason;
        while (!why.empty() && (why.back() == '\n' || why.back() == '\r'))
            why.pop_back();
        // The preview never asks; Apply Text does, and the preview follows what opens it.
        using tavrix::FailureKind;
        if (outcome.stamp.kind == FailureKind::PasswordNeeded ||
            outcome.stamp.kind == FailureKind::OwnerPasswordNeeded)
            why += "\n\nApply Text asks for its password; the preview shows it then.";
        else if (outcome.stamp.kind == FailureKind::RepairNeeded)
            why += "\n\nApply Text offers to repair it; the preview shows it then.";
        showMessage(State::Refused, why);
    }
    changed();
}

void PagePreview::goTo(int page) {
    const int limit = pageCount_ > 0 ? pageCount_ : std::max(page, 1);
    const int clamped = std::clamp(page, 1, limit);
    if (clamped == page_) return;
    page_ = clamped;
    changed();
}

void PagePreview::documentOpened(uint64_t generation, int pageCount) {
    if (generation != generation_ || pageCount == pageCount_) return;
    pageCount_ = pageCount;
    page_ = std::clamp(page_, 1, std::max(pageCount_, 1));
    changed();
}

} // namespace folvane
