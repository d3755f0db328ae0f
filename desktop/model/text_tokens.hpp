// Tokens in square brackets ("[FILETITLE]", "[YYYY]", ...) in the stamp texts, and the sample
// text the window previews.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "desktop/model/page_parameters.hpp"

namespace folvane {

// A local date and time as the tokens show it.
struct LocalTime {
    int year = 1970;
    int month = 1; // 1..12
    int day = 1;   // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

struct FileTimes {
    std::optional<LocalTime> created;  // birth time where the file system records one
    std::optional<LocalTime> modified; // last modification
};

using Clock = std::function<LocalTime()>;
using FileTimeReader = std::function<FileTimes(const std::string& path)>;

// The machine's local time now.
LocalTime systemClock();
// Opens `path` for reading and reads its times; both empty when it cannot be opened.
FileTimes readFileTimes(const std::string& path);

class TokenExpander {
  public:
    explicit TokenExpander(Clock clock = systemClock, FileTimeReader fileTimes = readFileTimes);

    // Replaces every token, in the fixed token order, using one reading of the clock. A text
    // without any "[" is returned as it is, without reading the clock or the file.
    std::string expand(const std::string& text, const std::string& inputPath) const;

  private:
    Clock clock_;
    FileTimeReader fileTimes_;
};

// Path pieces used by the file tokens; both "/" and "\" separate folders.
std::string fileTitleWithExtension(const std::string& path);
std::string fileTitle(const std::string& path);
std::string folderPath(const std::string& path);
std::string topFolderName(const std::string& path);

// The sample text: the first number and the fixed total 9999, with the texts around them.
std::string previewText(const PageParameters& p, const TokenExpander& expander);

} // namespace folvane
