#include "engine/service/property_table.hpp"

#include <array>
#include <cctype>

namespace tavrix {
namespace {

using T = PropertyType;

constexpr std::array<PropertyInfo, 33> kProperties{{
    {"startPage", 6, T::Long, "1", "first page to stamp, 1-based, in page-tree order"},
    {"endPage", 7, T::Long, "99999", "last page to stamp, inclusive"},
    {"startNumber", 8, T::Long, "1", "number shown on page startPage"},
    {"endNumber", 9, T::Long, "99999", "accepted and kept; not used by a run"},
    {"mask", 10, T::Long, "0", "minimum digits of a number, zero-filled (0: no fill)"},
    {"nth", 11, T::Long, "0", "leave out pages whose (startPage - 1 + page) is a multiple of nth"},
    {"seq", 12, T::Flag, "0", "with nth: number the stamped pages in sequence"},
    {"reverse", 13, T::Flag, "0", "count down from the page count"},
    {"onePageNo", 14, T::Flag, "0", "show the number without the total"},
    {"up2", 15, T::Flag, "0", "two-up numbering (1, 6, 2, 7, ... for ten pages)"},
    {"ab2", 16, T::Flag, "0", "A/B two-up numbering (1, 3, 5, ..., 2, 4, ...)"},
    {"rom", 17, T::Flag, "0", "lower-case roman numerals"},
    {"romUpper", 18, T::Flag, "0", "upper-case roman numerals (wins over rom)"},
    {"importit", 19, T::Text, "", "file whose leading number replaces startNumber"},
    {"exportit", 20, T::Text, "", "file that receives the next free number"},
    {"nopg", 21, T::Flag, "0", "no number at all: prefix, separator and ending only"},
    {"prefix", 22, T::StampText, "Page ", "text before the number"},
    {"sep", 23, T::StampText, " / ", "text between the number and the total"},
    {"end", 24, T::StampText, "", "text after the number or the total"},
    {"font", 25, T::Text, "Arial", "font name (metrics and the font written to the output)"},
    {"fontfile", 26, T::Text, "", "fonts file with further font metrics"},
    {"color", 27, T::Long, "0", "text colour as 0xRRGGBB"},
    {"fontSize", 28, T::Long, "11", "font size in points"},
    {"fontAngle", 29, T::Long, "0", "angle of the text in degrees, counter-clockwise"},
    {"noforce", 30, T::Flag, "0", "follow each page's /Rotate instead of stamping it upright"},
    {"posh", 31, T::Long, "20", "points from the left edge (right with fliph); -1 centres"},
    {"posv", 32, T::Long, "10", "points from the bottom edge (top with flipv); -1 centres"},
    {"flipv", 33, T::Flag, "0", "measure posv from the top edge"},
    {"fliph", 34, T::Flag, "0", "measure posh from the right edge"},
    {"align", 35, T::Text, "left", "left, center, or anything else for right alignment"},
    {"renameoutput", 36, T::Text, "", "rename pattern with [PAGESTART], [PAGEEND] and [FILETITLE]"},
    {"opacity", 37, T::Long, "100", "fill opacity in percent"},
    {"CMYKcolor", 38, T::Long, "0", "CMYK colour as 0xCCMMYYKK; 0 uses color"},
}};

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

} // namespace

std::span<const PropertyInfo> tavrixProperties() {
    return kProperties;
}

const PropertyInfo* findProperty(std::string_view name) {
    for (const auto& p : kProperties)
        if (equalsIgnoreCase(p.name, name)) return &p;
    return nullptr;
}

const PropertyInfo* findPropertyByDispid(int32_t dispid) {
    for (const auto& p : kProperties)
        if (p.dispid == dispid) return &p;
    return nullptr;
}

} // namespace tavrix
