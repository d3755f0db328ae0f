// Which number each page shows, the text stamped around it, and the roman numerals.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>

#include "engine/text/number_text.hpp"
#include "engine/text/roman.hpp"

namespace tavrix {
namespace {

// The shown numbers of positions 1..pageCount, blank-separated, "-" for an unstamped page.
std::string shownRow(const StampSettings& s, uint32_t pageCount, int32_t* highestOut = nullptr) {
    std::string row;
    int32_t highest = 0;
    for (int32_t p = 1; p <= static_cast<int32_t>(pageCount); ++p) {
        const auto n = shownNumber(s, p, pageCount, highest);
        if (!row.empty()) row += ' ';
        row += n ? std::to_string(*n) : "-";
    }
    if (highestOut) *highestOut = highest;
    return row;
}

struct RowCase {
    const char* name;
    std::function<void(StampSettings&)> set;
    const char* row;
    uint32_t pages = 10;
};

TEST(ShownNumber, TenPageTable) {
    const RowCase cases[] = {
        {"none", [](StampSettings&) {}, "1 2 3 4 5 6 7 8 9 10"},
        {"up2", [](StampSettings& s) { s.up2 = true; }, "1 6 2 7 3 8 4 9 5 10"},
        {"ab2", [](StampSettings& s) { s.ab2 = true; }, "1 3 5 7 9 2 4 6 8 10"},
        {"reverse", [](StampSettings& s) { s.reverse = true; }, "10 9 8 7 6 5 4 3 2 1"},
        {"nth 2", [](StampSettings& s) { s.nth = 2; }, "1 - 3 - 5 - 7 - 9 -"},
        {"nth 2 seq", [](StampSettings& s) { s.nth = 2, s.seq = true; }, "1 - 2 - 3 - 4 - 5 -"},
        {"nth 3", [](StampSettings& s) { s.nth = 3; }, "1 2 - 4 5 - 7 8 - 10"},
        {"nth 3 seq", [](StampSettings& s) { s.nth = 3, s.seq = true; }, "1 1 - 2 2 - 3 3 - 4"},
        {"nth 1", [](StampSettings& s) { s.nth = 1; }, "- - - - - - - - - -"},
        {"startNumber 5", [](StampSettings& s) { s.startNumber = 5; }, "5 6 7 8 9 10 11 12 13 14"},
        {"startPage 3", [](StampSettings& s) { s.startPage = 3; }, "- - 1 2 3 4 5 6 7 8"},
        {"range 3..5", [](StampSettings& s) { s.startPage = 3, s.endPage = 5; },
         "- - 1 2 3 - - - - -"},
        {"start > end", [](StampSettings& s) { s.startPage = 6, s.endPage = 5; },
         "- - - - - - - - - -"},
        {"up2 reverse", [](StampSettings& s) { s.up2 = true, s.reverse = true; },
         "10 5 9 4 8 3 7 2 6 1"},
        // seq without nth would divide by zero: the number is left as it is.
        {"seq, nth 0", [](StampSettings& s) { s.seq = true; }, "1 2 3 4 5 6 7 8 9 10"},
        // An odd count halves down.
        {"up2, nine pages", [](StampSettings& s) { s.up2 = true; }, "1 5 2 6 3 7 4 8 5", 9},
        {"ab2, nine pages", [](StampSettings& s) { s.ab2 = true; }, "1 3 5 7 2 4 6 8 10", 9},
    };
    for (const auto& c : cases) {
        StampSettings s;
        c.set(s);
        EXPECT_EQ(shownRow(s, c.pages), c.row) << c.name;
    }
}

TEST(ShownNumber, HighestShownNumber) {
    int32_t highest = -1;
    StampSettings reverse;
    reverse.reverse = true;
    reverse.startPage = 2;
    shownRow(reverse, 10, &highest);
    EXPECT_EQ(highest, 8); // the number of the first stamped page, position 2
    StampSettings none;
    none.startPage = 20;
    shownRow(none, 10, &highest);
    EXPECT_EQ(highest, 0);
    StampSettings negative;
    negative.startNumber = -20;
    shownRow(negative, 10, &highest);
    EXPECT_EQ(highest, 0); // every shown number is below zero
}

TEST(ShownNumber, ExtremeValuesWrapInsteadOfOverflowing) {
    StampSettings s;
    s.startNumber = INT32_MAX;
    int32_t highest = 0;
    EXPECT_EQ(shownNumber(s, 2, 10, highest), INT32_MIN);
    EXPECT_EQ(highest, 0);
    s = {};
    s.startPage = INT32_MIN;
    s.nth = -1;
    EXPECT_EQ(shownNumber(s, 1, 10, highest), std::nullopt); // every number divides by -1
    s = {};
    s.endPage = INT32_MAX;
    s.ab2 = true;
    EXPECT_EQ(shownNumber(s, INT32_MAX, 0, highest), -2);
}

TEST(ComposeStampText, ZeroFill) {
    struct Case {
        int32_t v;
        int32_t mask;
        std::string piece;
    };
    const Case cases[] = {
        {1, 5, "00001"},
        {123, 5, "00123"},
        {123456, 5, "123456"},
        {7, 0, "7"},
        {0, 3, "0000"},
        {-5, 3, "00-5"},
        {7, -3, "7"},
        {7, INT32_MIN, "7"}, // mask - 1 would overflow: no fill, and no endless loop
        {1000000000, 10, "1000000000"},
        {1000000000, 11, "01000000000"},
        {INT32_MIN, 1, "-2147483648"},
        {7, 12, std::string(11, '0') + "7"}, // masks above nine keep filling
        // Capped rather than a text of two billion zeros.
        {7, INT32_MAX, std::string(kMaxMaskDigits - 1, '0') + "7"},
    };
    for (const auto& c : cases) {
        StampSettings s;
        s.onePageNo = true;
        s.prefix = s.sep = "";
        s.mask = c.mask;
        EXPECT_EQ(composeStampText(s, c.v, 1), c.piece) << c.v << " mask " << c.mask;
    }
}

TEST(ComposeStampText, TextForms) {
    struct Case {
        const char* name;
        std::function<void(StampSettings&)> set;
        int32_t n;
        uint32_t total;
        const char* text;
    };
    const Case cases[] = {
        {"default", [](StampSettings&) {}, 2, 3, "Page 2 / 3"},
        {"onePageNo", [](StampSettings& s) { s.onePageNo = true; }, 1, 3, "Page 1 / "},
        {"onePageNo romUpper", [](StampSettings& s) { s.onePageNo = s.romUpper = true; }, 4, 9,
         "Page IV / "},
        {"nopg", [](StampSettings& s) { s.nopg = true, s.prefix = "Draft"; }, 4, 9, "Draft / "},
        {"nopg wins", [](StampSettings& s) { s.nopg = s.onePageNo = true, s.end = "."; }, 4, 9,
         "Page  / ."},
        {"rom", [](StampSettings& s) { s.rom = true; }, 12, 12, "Page xii / xii"},
        {"romUpper wins", [](StampSettings& s) { s.rom = s.romUpper = true; }, 12, 12,
         "Page XII / XII"},
        {"rom ignores mask", [](StampSettings& s) { s.rom = true, s.mask = 5; }, 0, 4,
         "Page  / iv"},
        {"mask on total", [](StampSettings& s) { s.mask = 3; }, 7, 12, "Page 007 / 012"},
        {"mask 2 on zero", [](StampSettings& s) { s.mask = 2, s.onePageNo = true; }, 0, 1,
         "Page 000 / "},
        {"end", [](StampSettings& s) { s.end = " of the file"; }, 1, 2, "Page 1 / 2 of the file"},
        {"parentheses", [](StampSettings& s) { s.prefix = "Chapter (A) "; }, 1, 10,
         "Chapter \\050A\\051 1 / 10"},
        {"backslash",
         [](StampSettings& s) {
             s.prefix = "C:\\";
             s.end = "\\";
         },
         1, 2, "C:\\1341 / 2\\134"},
        {"total beyond int32", [](StampSettings&) {}, 1, 3000000000u, "Page 1 / 3000000000"},
    };
    for (const auto& c : cases) {
        StampSettings s;
        c.set(s);
        EXPECT_EQ(composeStampText(s, c.n, c.total), c.text) << c.name;
    }
}

TEST(Roman, Table) {
    struct Case {
        int32_t v;
        const char* upper;
    };
    const Case cases[] = {
        {0, ""},
        {1, "I"},
        {4, "IV"},
        {9, "IX"},
        {14, "XIV"},
        {40, "XL"},
        {90, "XC"},
        {400, "CD"},
        {1999, "MCMXCIX"},
        {2024, "MMXXIV"},
        {4000, "MMMM"},
        {4999, "MMMMCMXCIX"},
        {5000, "MMMMM"},
        {6001, "I"},
        {9999, "CMXCIX"},
        // Outside the tables: the magnitude with a minus sign, and the last four digits.
        {-5, "-V"},
        {-2024, "-MMXXIV"},
        {10000, ""},
        {12024, "MMXXIV"},
        {INT32_MIN, "-MMMDCXLVIII"},
        {INT32_MAX, "MMMDCXLVII"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toRoman(c.v, false), c.upper) << c.v;
        std::string lower = c.upper;
        for (char& ch : lower)
            ch = static_cast<char>(std::tolower(ch));
        EXPECT_EQ(toRoman(c.v, true), lower) << c.v;
    }
    EXPECT_EQ(toRoman(12, true), "xii");
}

} // namespace
} // namespace tavrix
