// Named font metrics: the process-wide font table (built-in entries followed by the records of
// every fonts file loaded so far), font lookup and text width.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavrix {

struct FontMetrics {
    std::string name;                // as listed, e.g. "Arial-Bold"
    std::array<int32_t, 4> box;      // llx lly urx ury, 1/1000 of the font size
    std::array<int32_t, 256> widths; // per byte code (WinAnsiEncoding), 1/1000 of the font size
};

// Keeps only the ASCII letters, case unchanged: "Arial Bold" and "Arial-Bold" both become
// "ArialBold".
std::string normalizeFontName(std::string_view name);

// The first entry in table order whose normalized name equals the normalized `name`
// (case-sensitive), or nullptr. The entry lives until the process ends.
const FontMetrics* findFont(std::string_view name);

// Sum of the widths of the bytes of `text` in 1/1000 of the font size; 0 for an unknown font.
// Saturates at the int32 range (widths from a fonts file are not bounded).
int32_t textWidth(std::string_view fontName, std::string_view text);

// Appends the records of a fonts file to the font table; an empty path or a file that does not
// open does nothing. Safe to call while other threads look fonts up or load files. Returns the
// progress text the run shows for it ("\nUsing fonts file: '...'\n", then "Invalid font file.\n"
// when the file is refused), which the caller prints where its progress goes.
std::string loadFontsFile(const std::string& path);

} // namespace tavrix
