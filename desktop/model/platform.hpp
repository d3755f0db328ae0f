// What the window model needs from the desktop platform: file and colour choosers, message boxes,
// the CMYK entry form and the shell's "open". The Qt front end implements it; tests fake it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace folvane {

class CmykForm;

enum class Buttons { Ok, YesNoCancel };
enum class Answer { Ok, Yes, No, Cancel };

struct FileFilter {
    std::string label;   // as listed in the chooser, e.g. "All Files *.*"
    std::string pattern; // e.g. "*.pdf"
};

struct FileChoice {
    std::string title;
    std::vector<FileFilter> filters;
    std::string defaultExtension; // appended when the user types a name without one; may be empty
};

inline constexpr const char* kProgramCaption = "Folvane";

class Platform {
  public:
    virtual ~Platform() = default;

    virtual Answer showMessage(const std::string& text, const std::string& caption,
                               Buttons buttons) = 0;
    Answer showMessage(const std::string& text) {
        return showMessage(text, kProgramCaption, Buttons::Ok);
    }

    virtual std::optional<std::string> chooseFileToOpen(const FileChoice& choice) = 0;
    virtual std::optional<std::string> chooseFileToSave(const FileChoice& choice) = 0;

    // The full colour chooser with its custom colours; the result is red in the lowest byte.
    virtual std::optional<uint32_t> chooseColor() = 0;

    // Runs the CMYK entry form modally over `form`; true when it was left with Save/Exit.
    virtual bool editCmyk(CmykForm& form) = 0;

    // Opens `path` in the program associated with it.
    virtual void openWithShell(const std::string& path) = 0;
};

} // namespace folvane
