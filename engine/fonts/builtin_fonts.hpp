// The metrics the engine carries for its built-in fonts; the data is generated (see
// tools/fontgen/) and kept in builtin_fonts.cpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tavrix {

struct BuiltinFont {
    const char* name;
    std::array<int32_t, 4> box;      // llx lly urx ury, 1/1000 em
    std::array<int32_t, 256> widths; // per WinAnsiEncoding code, 1/1000 em
};

inline constexpr std::size_t kBuiltinFontCount = 161;

// In the table's fixed order; lookups take the first entry whose normalized name matches.
extern const std::array<BuiltinFont, kBuiltinFontCount> kBuiltinFonts;

} // namespace tavrix
