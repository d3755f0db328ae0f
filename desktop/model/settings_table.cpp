#include "desktop/model/settings_table.hpp"

#include <array>

#include "desktop/model/number_text.hpp"

namespace folvane {
namespace {

using P = PageParameters;
using S = PositionSet;
using F = Field;

template <auto Member> MemberRef top(P& p) {
    return &(p.*Member);
}
template <auto Set, auto Member> MemberRef in(P& p) {
    return &((p.*Set).*Member);
}

constexpr int32_t kOff = 0;
constexpr int32_t kOn = 1;

// Each row names only what differs from the defaults of Setting; GCC would warn about every
// member a designated initializer leaves to its default.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
// clang-format off
const std::array kSettings{
    Setting{.key = "PREFIXSTR", .kind = Kind::Text, .member = top<&P::prefixText>, .field = F::PrefixText},
    Setting{.key = "SEPSTR", .kind = Kind::Text, .member = top<&P::separatorText>, .field = F::SeparatorText},
    Setting{.key = "ENDSTR", .kind = Kind::Text, .member = top<&P::endText>, .field = F::EndText},
    Setting{.key = "STARTNUM", .kind = Kind::Integer, .member = top<&P::firstNumber>, .field = F::FirstNumber},
    Setting{.key = "ENDNUM", .kind = Kind::Integer, .member = top<&P::lastNumber>, .field = F::LastNumber},
    Setting{.key = "STARTPROC", .kind = Kind::Integer, .member = top<&P::firstPage>, .field = F::FirstPage},
    Setting{.key = "ENDPROC", .kind = Kind::Integer, .member = top<&P::lastPage>, .field = F::LastPage},
    Setting{.key = "1PAGENUM", .kind = Kind::Flag, .member = top<&P::onePageNumberOnly>, .field = F::OnePageNumberOnly, .loadReset = kOff},
    Setting{.key = "NOPAGENUM", .kind = Kind::Flag, .member = top<&P::noPageNumbers>, .field = F::NoPageNumbers, .loadReset = kOff},
    Setting{.key = "FONTNAME", .kind = Kind::Text, .member = top<&P::fontName>, .field = F::FontName},
    Setting{.key = "FONTTYPE", .kind = Kind::Text, .member = top<&P::fontType>},
    Setting{.key = "FONTFLAGS", .kind = Kind::Text, .member = top<&P::fontFlags>},
    Setting{.key = "FONTSIZE", .kind = Kind::Real, .member = top<&P::fontSize>, .field = F::FontSize},
    Setting{.key = "INCPAGENOEVERY", .kind = Kind::Integer, .member = top<&P::incrementEvery>},
    Setting{.key = "OPACITY", .kind = Kind::Integer, .member = top<&P::opacityPercent>, .field = F::Opacity, .low = 0, .high = 100, .loadReset = 100},
    Setting{.key = "POSITION", .kind = Kind::Text, .member = in<&P::shown, &S::positionName>, .field = F::PositionName},
    Setting{.key = "POSITIONALL", .kind = Kind::Text, .member = in<&P::allOdd, &S::positionName>},
    Setting{.key = "POSITIONEVEN", .kind = Kind::Text, .member = in<&P::even, &S::positionName>},
    Setting{.key = "VERTICAL", .kind = Kind::Real, .member = in<&P::shown, &S::vertical>, .field = F::Vertical},
    Setting{.key = "HORIZONTAL", .kind = Kind::Real, .member = in<&P::shown, &S::horizontal>, .field = F::Horizontal},
    Setting{.key = "VERTICALALL", .kind = Kind::Real, .member = in<&P::allOdd, &S::vertical>},
    Setting{.key = "HORIZONTALALL", .kind = Kind::Real, .member = in<&P::allOdd, &S::horizontal>},
    Setting{.key = "VERTICALEVEN", .kind = Kind::Real, .member = in<&P::even, &S::vertical>},
    Setting{.key = "HORIZONTALEVEN", .kind = Kind::Real, .member = in<&P::even, &S::horizontal>},
    Setting{.key = "MASK", .kind = Kind::Integer, .member = top<&P::maskDigits>, .field = F::MaskDigits},
    Setting{.key = "2UP", .kind = Kind::Flag, .member = top<&P::twoUp>, .field = F::TwoUp, .loadReset = kOff},
    Setting{.key = "CARRYOVER", .kind = Kind::Flag, .member = top<&P::carryOver>, .loadReset = kOff},
    Setting{.key = "EMBEDFONTS", .kind = Kind::Flag, .member = top<&P::embedFonts>, .loadReset = kOff},
    Setting{.key = "EMBEDFONTSSUBSET", .kind = Kind::Flag, .member = top<&P::embedFontSubset>, .loadReset = kOff},
    Setting{.key = "SAMEPOSITION", .kind = Kind::Flag, .member = top<&P::samePosition>, .loadReset = kOn, .partner = top<&P::oddEvenDifferent>},
    Setting{.key = "ODDEVENDIFFERENT", .kind = Kind::Flag, .member = top<&P::oddEvenDifferent>, .loadReset = kOff, .partner = top<&P::samePosition>},
    Setting{.key = "ALIGNTEXTLEFT", .kind = Kind::Flag, .member = in<&P::shown, &S::alignLeft>, .field = F::AlignLeft, .loadReset = kOff},
    Setting{.key = "ALIGNTEXTRIGHT", .kind = Kind::Flag, .member = in<&P::shown, &S::alignRight>, .field = F::AlignRight, .loadReset = kOff},
    Setting{.key = "ALIGNTEXTCENTER", .kind = Kind::Flag, .member = in<&P::shown, &S::alignCenter>, .field = F::AlignCenter, .loadReset = kOff},
    Setting{.key = "ALIGNTEXTLEFTALL", .kind = Kind::Flag, .member = in<&P::allOdd, &S::alignLeft>, .loadReset = kOff},
    Setting{.key = "ALIGNTEXTRIGHTALL", .kind = Kind::Flag, .member = in<&P::allOdd, &S::alignRight>, .loadReset = kOff},
    Setting{.key = "ALIGNTEXTCENTERALL", .kind = Kind::Flag, .member = in<&P::allOdd, &S::alignCenter>, .loadReset = kOff},
    Setting{.key = "ALIGNTEXTLEFTEVEN", .kind = Kind::Flag, .member = in<&P::even, &S::alignLeft>, .loadReset = kOff},
    Setting{.key = "ALIGNTEXTRIGHTEVEN", .kind = Kind::Flag, .member = in<&P::even, &S::alignRight>, .loadReset = kOff},
    Setting{.key = "ALIGNTEXTCENTEREVEN", .kind = Kind::Flag, .member = in<&P::even, &S::alignCenter>, .loadReset = kOff},
    Setting{.key = "APPLYTOALL", .kind = Kind::Flag, .member = top<&P::applyToAll>, .loadReset = kOn, .partner = top<&P::applyToEven>},
    Setting{.key = "APPLYTOEVEN", .kind = Kind::Flag, .member = top<&P::applyToEven>, .loadReset = kOff, .partner = top<&P::applyToAll>},
    Setting{.key = "1NTH", .kind = Kind::Integer, .member = top<&P::nth>, .field = F::Nth},
    Setting{.key = "AB2UP", .kind = Kind::Flag, .member = top<&P::abTwoUp>, .field = F::AbTwoUp, .loadReset = kOff},
    Setting{.key = "SEQUENTIAL", .kind = Kind::Flag, .member = top<&P::sequential>, .field = F::Sequential, .loadReset = kOff},
    Setting{.key = "CALCRIGHT", .kind = Kind::Flag, .member = in<&P::shown, &S::fromRight>, .field = F::FromRight, .loadReset = kOff},
    Setting{.key = "CALCTOP", .kind = Kind::Flag, .member = in<&P::shown, &S::fromTop>, .field = F::FromTop, .loadReset = kOff},
    Setting{.key = "CALCRIGHTALL", .kind = Kind::Flag, .member = in<&P::allOdd, &S::fromRight>, .loadReset = kOff},
    Setting{.key = "CALCTOPALL", .kind = Kind::Flag, .member = in<&P::allOdd, &S::fromTop>, .loadReset = kOff},
    Setting{.key = "CALCRIGHTEVEN", .kind = Kind::Flag, .member = in<&P::even, &S::fromRight>, .loadReset = kOff},
    Setting{.key = "CALCTOPEVEN", .kind = Kind::Flag, .member = in<&P::even, &S::fromTop>, .loadReset = kOff},
    Setting{.key = "FORCEPORTRAIT", .kind = Kind::Flag, .member = top<&P::forcePortrait>, .field = F::ForcePortrait, .loadReset = kOff},
    Setting{.key = "REVERSE", .kind = Kind::Flag, .member = top<&P::reverse>, .field = F::Reverse, .loadReset = kOff},
    Setting{.key = "ROMANNUMERALS", .kind = Kind::Flag, .member = top<&P::romanUpper>, .field = F::RomanUpper, .loadReset = kOff},
    Setting{.key = "ROMANNUMERALSLOWER", .kind = Kind::Flag, .member = top<&P::romanLower>, .field = F::RomanLower, .loadReset = kOff},
    Setting{.key = "CMYK", .kind = Kind::Flag, .member = top<&P::useCmyk>, .field = F::UseCmyk, .loadReset = kOff},
    Setting{.key = "TEXTCOLOR", .kind = Kind::Colour, .member = top<&P::textColor>},
    Setting{.key = "TEXTCOLORCMYKC", .kind = Kind::Integer, .member = top<&P::cmykC>, .cmykFormIndex = 0},
    Setting{.key = "TEXTCOLORCMYKM", .kind = Kind::Integer, .member = top<&P::cmykM>, .cmykFormIndex = 1},
    Setting{.key = "TEXTCOLORCMYKY", .kind = Kind::Integer, .member = top<&P::cmykY>, .cmykFormIndex = 2},
    Setting{.key = "TEXTCOLORCMYKK", .kind = Kind::Integer, .member = top<&P::cmykK>, .cmykFormIndex = 3},
    Setting{.key = "DEGREESANGLE", .kind = Kind::Integer, .member = top<&P::angleDegrees>, .field = F::Angle, .low = 0, .high = 360, .loadReset = 0},
    Setting{.key = "INFILE", .kind = Kind::Text, .member = top<&P::inputPath>, .field = F::InputPath, .onlyWithPaths = true},
    Setting{.key = "OUTFILE", .kind = Kind::Text, .member = top<&P::outputPath>, .field = F::OutputPath, .onlyWithPaths = true},
    // The complements of "CALCRIGHT" and "CALCTOP": check boxes of their own, never stored.
    Setting{.key = "", .kind = Kind::Flag, .member = in<&P::shown, &S::fromRight>, .field = F::FromLeft, .shownInverted = true},
    Setting{.key = "", .kind = Kind::Flag, .member = in<&P::shown, &S::fromTop>, .field = F::FromBottom, .shownInverted = true},
};
// clang-format on
#pragma GCC diagnostic pop

const std::array<const Setting*, kFieldCount>& byField() {
    static const auto table = [] {
        std::array<const Setting*, kFieldCount> t{};
        for (const Setting& s : kSettings)
            if (s.field) t[static_cast<size_t>(*s.field)] = &s;
        return t;
    }();
    return table;
}

} // namespace

std::span<const Setting> settingsTable() {
    return kSettings;
}

const Setting* settingForKey(std::string_view key) {
    if (key.empty()) return nullptr;
    for (const Setting& s : kSettings)
        if (s.key == key) return &s;
    return nullptr;
}

const Setting& settingForField(Field f) {
    return *byField()[static_cast<size_t>(f)];
}

bool isCheckField(Field f) {
    return settingForField(f).kind == Kind::Flag;
}

std::optional<std::string> fieldMessage(const Setting& s, const std::string& text) {
    switch (s.kind) {
    case Kind::Integer: {
        const auto v = parseIntegerField(text);
        if (!v) return "Please enter an integer.";
        if (s.low <= s.high && (*v < s.low || *v > s.high))
            return "Please enter an integer between " + std::to_string(s.low) + " and " +
                   std::to_string(s.high) + ".";
        return std::nullopt;
    }
    case Kind::Real:
        if (!parseRealField(text)) return "Please enter a number.";
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

} // namespace folvane
