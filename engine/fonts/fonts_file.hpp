// Reading a fonts file: lines of "|"-separated fields,
// mark|name|llx|lly|urx|ury|f7|f8|f9|f10|f11|f12|w0|w1|...|w255.
#pragma once

#include <istream>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/fonts/font_metrics.hpp"

namespace tavrix {

// Every fonts file starts with these four bytes (the mark of its first record).
inline constexpr std::string_view kFontsFileMark = "FONT";

// One record line (without its line break). Missing and non-numeric fields read as 0.
FontMetrics parseFontRecord(std::string_view line);

// The records of a whole file in file order, or nullopt when the stream does not start with the
// mark. Lines of 20 bytes or less, line break included, are skipped; lines of any length are
// read whole.
std::optional<std::vector<FontMetrics>> readFontRecords(std::istream& in);

} // namespace tavrix
