// What the window model needs from the desktop platform: file and colour choosers, message boxes,
// the CMYK entry form, the shell's "open", timers and the way back to the user-interface thread.
// The Qt front end implements it; tests fake it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace folvane {

class CmykForm;

enum class Buttons { Ok, YesNoCancel, YesNo };
enum class Answer { Ok, Yes, No, Cancel };
// Failures get the error icon; everything else is information (or a question with Yes/No).
enum class Tone { Information, Error };

struct FileFilter {
    std::string label;   // as listed in the chooser, e.g. "All Files *.*"
    std::string pattern; // e.g. "*.pdf"
};

struct FileChoice {
    std::string title;
    std::vector<FileFilter> filters;
    std::string defaultExtension; // appended when the user types a name without one; may be empty
    std::string startAt;          // a file whose folder the chooser opens in; may be empty
};

inline constexpr const char* kProgramCaption = "Folvane";

// A single-shot timer of the user-interface thread; starting it again restarts it.
class Timer {
  public:
    virtual ~Timer() = default;
    virtual void start(int milliseconds, std::function<void()> fire) = 0;
    virtual void stop() = 0;
};

class Platform {
  public:
    virtual ~Platform() = default;

    virtual Answer showMessage(const std::string& text, const std::string& caption, Buttons buttons,
                               Tone tone) = 0;
    Answer showMessage(const std::string& text, const std::string& caption, Buttons buttons) {
        return showMessage(text, caption, buttons, Tone::Information);
    }
    Answer showMessage(const std::string& text) {
        return showMessage(text, kProgramCaption, Buttons::Ok);
    }
    void showError(const std::string& text, const std::string& caption) {
        showMessage(text, caption, Buttons::Ok, Tone::Error);
    }

    // Asks for a password: the text typed (maybe empty), or nullopt when the user cancels.
    virtual std::optional<std::string> askPassword(const std::string& text,
                                                   const std::string& caption) = 0;

    virtual std::optional<std::string> chooseFileToOpen(const FileChoice& choice) = 0;
    virtual std::optional<std::string> chooseFileToSave(const FileChoice& choice) = 0;

    // The full colour chooser with its custom colours, opening at `current`; colours have red in
    // the lowest byte.
    virtual std::optional<uint32_t> chooseColor(uint32_t current) = 0;

    // Runs the CMYK entry form modally over `form`; true when it was left with Save/Exit.
    virtual bool editCmyk(CmykForm& form) = 0;

    // Opens `path` in the program associated with it.
    virtual void openWithShell(const std::string& path) = 0;

    // Runs `work` on the user-interface thread once the current event is handled; callable from
    // any thread. Work posted after the window is gone is dropped.
    virtual void postToUi(std::function<void()> work) = 0;
    virtual std::unique_ptr<Timer> createTimer() = 0;
};

} // namespace folvane
