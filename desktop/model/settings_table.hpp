// The one description of the desktop settings: every member of the settings record with its page
// parameters file key, its kind and the window field that edits it. Writing and reading files,
// committing the window's fields and showing the record again all walk this table.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "desktop/model/page_parameters.hpp"

namespace folvane {

// Every field of the window, in commit order.
enum class Field {
    EndText,
    PrefixText,
    SeparatorText,
    FirstNumber,
    FirstPage,
    LastNumber,
    LastPage,
    OnePageNumberOnly,
    Vertical,
    Horizontal,
    FontSize,
    NoPageNumbers,
    PositionName,
    MaskDigits,
    Nth,
    TwoUp,
    AbTwoUp,
    Sequential,
    Angle,
    FromLeft,
    FromRight,
    FromBottom,
    FromTop,
    ForcePortrait,
    AlignLeft,
    AlignRight,
    AlignCenter,
    RomanUpper,
    RomanLower,
    FontName,
    Reverse,
    UseCmyk,
    Opacity,
    InputPath,
    OutputPath,
    Count
};

inline constexpr size_t kFieldCount = static_cast<size_t>(Field::Count);

// Text: as it stands. Integer: signed decimal. Real: six significant digits in files, up to 15 in
// the window. Flag: a key alone in files, a check box in the window. Colour: unsigned decimal.
enum class Kind { Text, Integer, Real, Flag, Colour };

using MemberRef = std::variant<std::string*, int32_t*, double*, bool*, uint32_t*>;

inline constexpr int32_t kKeepOnLoad = std::numeric_limits<int32_t>::min();

struct Setting {
    std::string_view key; // page parameters file key; empty for a window field without a line
    Kind kind;
    MemberRef (*member)(PageParameters&);
    std::optional<Field> field;      // the window field that edits the member
    bool shownInverted = false;      // the check box shows the member's opposite
    int32_t low = 0, high = -1;      // an integer range checked on commit (low > high: none)
    bool onlyWithPaths = false;      // read only when paths are included (INFILE, OUTFILE)
    int cmykFormIndex = -1;          // also goes into the CMYK form's values when read
    int32_t loadReset = kKeepOnLoad; // value before a file is read (flags by presence)
    MemberRef (*partner)(PageParameters&) = nullptr; // a flag that reading this one clears
};

// In the order of the lines of a page parameters file; window-only settings come last.
std::span<const Setting> settingsTable();
const Setting* settingForKey(std::string_view key);
const Setting& settingForField(Field f);

bool isCheckField(Field f);

// The message a field's text earns on commit, or nothing when the text is accepted.
std::optional<std::string> fieldMessage(const Setting& s, const std::string& text);

} // namespace folvane
