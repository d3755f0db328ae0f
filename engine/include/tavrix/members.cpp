#include "tavrix/members.hpp"

#include <array>
#include <cctype>
#include <type_traits>

namespace tavrix {
namespace {

using T = PropertyType;
using S = StampSettings;

constexpr std::array<PropertyInfo, 33> kProperties{{
    {"startPage", 6, T::Long, "property startPage", &S::startPage,
     "first page to stamp, 1-based, in page-tree order"},
    {"endPage", 7, T::Long, "property endPage", &S::endPage, "last page to stamp, inclusive"},
    {"startNumber", 8, T::Long, "property startNumber", &S::startNumber,
     "number shown on page startPage"},
    {"endNumber", 9, T::Long, "property endNumber", &S::endNumber,
     "accepted and kept; not used by a run"},
    {"mask", 10, T::Long, "property mask", &S::mask,
     "minimum digits of a number, zero-filled (0: no fill)"},
    {"nth", 11, T::Long, "property nth", &S::nth,
     "leave out pages whose (startPage - 1 + page) is a multiple of nth"},
    {"seq", 12, T::Flag, "property seq", &S::seq, "with nth: number the stamped pages in sequence"},
    {"reverse", 13, T::Flag, "property reverse", &S::reverse, "count down from the page count"},
    {"onePageNo", 14, T::Flag, "property onePageNo", &S::onePageNo,
     "show the number without the total"},
    {"up2", 15, T::Flag, "property up2", &S::up2,
     "two-up numbering (1, 6, 2, 7, ... for ten pages)"},
    {"ab2", 16, T::Flag, "property ab2", &S::ab2, "A/B two-up numbering (1, 3, 5, ..., 2, 4, ...)"},
    {"rom", 17, T::Flag, "property rom", &S::rom, "lower-case roman numerals"},
    {"romUpper", 18, T::Flag, "property romUpper", &S::romUpper,
     "upper-case roman numerals (wins over rom)"},
    {"importit", 19, T::Text, "property importit", &S::importit,
     "file whose leading number replaces startNumber"},
    {"exportit", 20, T::Text, "property exportit", &S::exportit,
     "file that receives the next free number"},
    {"nopg", 21, T::Flag, "property nopg", &S::nopg,
     "no number at all: prefix, separator and ending only"},
    {"prefix", 22, T::StampText, "property prefix", &S::prefix, "text before the number",
     &S::prefixUtf8},
    {"sep", 23, T::StampText, "property sep", &S::sep, "text between the number and the total",
     &S::sepUtf8},
    {"end", 24, T::StampText, "property end", &S::end, "text after the number or the total",
     &S::endUtf8},
    {"font", 25, T::Text, "property font", &S::font,
     "font name; texts outside Windows-1252 embed it or the nearest installed face"},
    {"fontfile", 26, T::Text, "property fontfile", &S::fontfile,
     "fonts file with further font metrics"},
    {"color", 27, T::Long, "property color", &S::color, "text colour as 0xRRGGBB"},
    {"fontSize", 28, T::Long, "property fontSize", &S::fontSize, "font size in points"},
    {"fontAngle", 29, T::Long, "property fontAngle", &S::fontAngle,
     "angle of the text in degrees, counter-clockwise"},
    {"noforce", 30, T::Flag, "property noforce", &S::noforce,
     "follow each page's /Rotate instead of stamping it upright"},
    // The two position properties carry their field names in their help strings, as clients
    // that read the type library have always seen them.
    {"posh", 31, T::Long, "property m_posh", &S::posh,
     "points from the left edge (right with fliph); -1 centres"},
    {"posv", 32, T::Long, "property m_posv", &S::posv,
     "points from the bottom edge (top with flipv); -1 centres"},
    {"flipv", 33, T::Flag, "property flipv", &S::flipv, "measure posv from the top edge"},
    {"fliph", 34, T::Flag, "property fliph", &S::fliph, "measure posh from the right edge"},
    {"align", 35, T::Text, "property align", &S::align,
     "left, center, or anything else for right alignment"},
    {"renameoutput", 36, T::Text, "property renameoutput", &S::renameoutput,
     "rename pattern with [PAGESTART], [PAGEEND] and [FILETITLE]"},
    {"opacity", 37, T::Long, "property opacity", &S::opacity, "fill opacity in percent"},
    {"CMYKcolor", 38, T::Long, "property CMYKcolor", &S::CMYKcolor,
     "CMYK colour as 0xCCMMYYKK; 0 uses color"},
}};

} // namespace

bool sameMemberName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::span<const PropertyInfo> tavrixProperties() {
    return kProperties;
}

const PropertyInfo* findProperty(std::string_view name) {
    for (const auto& p : kProperties)
        if (sameMemberName(p.name, name)) return &p;
    return nullptr;
}

const PropertyInfo* findPropertyByDispid(int32_t dispid) {
    for (const auto& p : kProperties)
        if (p.dispid == dispid) return &p;
    return nullptr;
}

int propertySlot(const PropertyInfo& p) {
    return kGetTavrixFileSlot + 1 + static_cast<int>(&p - kProperties.data());
}

std::string defaultText(const PropertyInfo& p) {
    static const StampSettings defaults;
    return std::visit(
        [](auto field) -> std::string {
            const auto& value = defaults.*field;
            // Every default text is ASCII, the same in Windows-1252 and UTF-8.
            if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::string>)
                return value;
            else
                return std::to_string(static_cast<int32_t>(value));
        },
        p.field);
}

} // namespace tavrix
