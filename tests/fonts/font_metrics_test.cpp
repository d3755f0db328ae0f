// Built-in font table, lookup by normalized name, and text width.

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "engine/fonts/builtin_fonts.hpp"
#include "engine/fonts/font_metrics.hpp"

namespace tavrix {
namespace {

struct TellingRow {
    const char* name;
    std::array<int32_t, 4> box;
    std::array<int32_t, 7> widths; // codes 0-31 (one value), 32, 48, 65, 97, 128, 160
};

constexpr TellingRow kTellingRows[] = {
    {"Arial", {-46, -210, 1000, 896}, {750, 278, 556, 667, 556, 556, 278}},
    {"Arial-Bold", {-46, -210, 1000, 904}, {750, 278, 556, 722, 556, 556, 278}},
    {"Helvetica", {-166, -225, 1000, 931}, {600, 278, 556, 667, 556, 600, 600}},
    {"Times-Roman", {-168, -218, 1000, 898}, {600, 250, 500, 722, 444, 600, 600}},
    {"TimesNewRoman", {-77, -216, 1009, 896}, {778, 250, 500, 722, 444, 500, 250}},
    {"Courier", {-23, -250, 715, 805}, {600, 600, 600, 600, 600, 600, 600}},
    {"CourierNew", {-13, -274, 638, 783}, {600, 600, 600, 600, 600, 600, 600}},
    {"Verdana", {-30, -207, 1447, 1000}, {1000, 352, 636, 684, 601, 636, 352}},
    {"SymbolMT", {0, -220, 1113, 1005}, {600, 250, 500, 722, 631, 600, 600}},
    {"ZapfDingbats", {-1, -143, 981, 820}, {600, 278, 911, 692, 789, 390, 600}},
};

TEST(BuiltinFonts, TellingRowsMatch) {
    for (const TellingRow& row : kTellingRows) {
        SCOPED_TRACE(row.name);
        const FontMetrics* font = findFont(row.name);
        ASSERT_NE(font, nullptr);
        EXPECT_EQ(font->name, row.name);
        EXPECT_EQ(font->box, row.box);
        for (int code = 0; code < 32; ++code)
            EXPECT_EQ(font->widths[code], row.widths[0]) << "code " << code;
        const int codes[] = {32, 48, 65, 97, 128, 160};
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(font->widths[codes[i]], row.widths[i + 1]) << "code " << codes[i];
    }
    EXPECT_EQ(findFont("Arial")->widths[133], 1000); // ellipsis
}

TEST(BuiltinFonts, CoreFontsHoldTheirFillerWidths) {
    for (const BuiltinFont& builtin : kBuiltinFonts) {
        const std::string name = builtin.name;
        SCOPED_TRACE(name);
        if (name.starts_with("Courier")) {
            for (int32_t width : builtin.widths)
                EXPECT_EQ(width, 600);
        }
        if (name.starts_with("Helvetica") || name.starts_with("Times-") || name == "SymbolMT") {
            for (int code = 0; code < 32; ++code)
                EXPECT_EQ(builtin.widths[code], 600);
            for (int code = 127; code <= 160; ++code)
                EXPECT_EQ(builtin.widths[code], 600);
            EXPECT_NE(builtin.widths[65], 600); // real widths above the filled ranges
        }
    }
}

TEST(BuiltinFonts, EveryNameFindsItsOwnEntryExceptTheWingdingsVariants) {
    EXPECT_STREQ(kBuiltinFonts.front().name, "Algerian");
    EXPECT_STREQ(kBuiltinFonts.back().name, "ZapfDingbats");
    for (const BuiltinFont& builtin : kBuiltinFonts) {
        const FontMetrics* font = findFont(builtin.name);
        ASSERT_NE(font, nullptr) << builtin.name;
        const std::string name = builtin.name;
        EXPECT_EQ(font->name, name == "Wingdings2" || name == "Wingdings3" ? "Wingdings" : name);
        EXPECT_LT(font->box[0], font->box[2]) << name;
        EXPECT_LT(font->box[1], font->box[3]) << name;
    }
}

TEST(FindFont, MatchesOnAsciiLettersOnlyAndKeepsCase) {
    for (const char* name : {"Arial Bold", "Arial-Bold", "ArialBold", "Arial_Bold\xE9"})
        EXPECT_EQ(findFont(name), findFont("Arial-Bold")) << name;
    EXPECT_EQ(findFont("arial"), nullptr);
    EXPECT_EQ(findFont(""), nullptr);
    EXPECT_EQ(findFont("123-"), nullptr);
    EXPECT_EQ(findFont("Wingdings2")->name, "Wingdings");
    EXPECT_EQ(findFont("Bauhaus")->name, "Bauhaus93");
    EXPECT_EQ(findFont("BookshelfSymbol")->name, "BookshelfSymbol7");
    EXPECT_EQ(normalizeFontName("Times New-Roman 2\x80"), "TimesNewRoman");
}

TEST(TextWidth, SumsTheWidthsOfTheBytes) {
    EXPECT_EQ(textWidth("Arial", "Page 1"), 3169);
    EXPECT_EQ(textWidth("Arial Bold", "A"), 722);
    const FontMetrics* arial = findFont("Arial");
    EXPECT_EQ(textWidth("Arial", "\xE9"), arial->widths[0xE9]);
    EXPECT_EQ(textWidth("Arial", std::string("\0\xFF", 2)), arial->widths[0] + arial->widths[255]);
    EXPECT_EQ(textWidth("Arial", ""), 0);
    EXPECT_EQ(textWidth("NoSuchFontAnywhere", "Page 1"), 0);
}

} // namespace
} // namespace tavrix
