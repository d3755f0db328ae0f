// The page preview as a model: which page of the input is shown, stamped exactly as Apply Text
// would stamp it. Each change of the settings runs the engine (debounced, on the engine thread)
// over the whole input into a private file, since the number a page shows depends on the whole
// document; the window renders the page of that file. Results of runs whose settings are no
// longer current are dropped.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "desktop/model/engine_client.hpp"

namespace folvane {

class PagePreviewObserver {
  public:
    virtual ~PagePreviewObserver() = default;
    virtual void pagePreviewChanged() = 0;
};

class PagePreview {
  public:
    enum class State {
        NoInput, // nothing to show yet: the message says why
        Shown,   // file() holds the stamped document; page() is the page to show
        Refused, // the engine refused the input; message() holds its reason
    };
    static constexpr int kDelayMilliseconds = 300;

    PagePreview(EngineClient& engine, Platform& platform, EngineRuntime& runtime);

    void setObserver(PagePreviewObserver* observer) { observer_ = observer; }

    // The settings as the window shows them now; a run follows shortly when they differ from
    // those of the file shown.
    void update(const PageParameters& draft, const TokenExpander& expander);

    void goTo(int page);
    void first() { goTo(1); }
    void previous() { goTo(page_ - 1); }
    void next() { goTo(page_ + 1); }
    void last() { goTo(pageCount_ > 0 ? pageCount_ : page_); }
    // The window has opened document `generation` and counted its pages.
    void documentOpened(uint64_t generation, int pageCount);

    State state() const { return state_; }
    bool busy() const { return running_ || waiting_; }
    int page() const { return page_; }
    int pageCount() const { return pageCount_; }
    const std::string& message() const { return message_; }
    const std::shared_ptr<FileHandle>& file() const { return file_; }
    // The password that opens file(): a protected input's output keeps its protection.
    const std::optional<std::string>& password() const { return password_; }
    uint64_t generation() const { return generation_; }

  private:
    // What a run depends on: the engine calls (the params ask for what opened the input in
    // Apply Text, so a password given there shows a protected file here too) and the input
    // file as it is on disk.
    struct Key {
        StampRequest request;
        std::optional<std::string> password;
        int64_t size = -1, modified = -1;
        bool operator==(const Key&) const = default;
    };
    void launch();
    void finished(const Key& key, PreviewOutcome outcome);
    void showMessage(State state, std::string message);
    void changed();

    EngineClient& engine_;
    EngineRuntime& runtime_;
    std::unique_ptr<Timer> timer_;
    PagePreviewObserver* observer_ = nullptr;

    std::optional<Key> wanted_; // the settings the window shows
    std::optional<Key> shown_;  // the settings of the file or message shown
    bool waiting_ = false;      // the delay before a run is running
    bool running_ = false;      // a run is on the engine thread

    State state_ = State::NoInput;
    std::string message_ = "Choose an input PDF file to see the stamp on its pages.";
    std::shared_ptr<FileHandle> file_;
    std::optional<std::string> password_;
    uint64_t generation_ = 0;
    std::string input_;
    int page_ = 1;
    int pageCount_ = 0;
};

} // namespace folvane
