// Token expansion with a fixed clock, path tokens, file times and the preview text.
#include <gtest/gtest.h>
#include <regex>

#include "desktop/model/text_tokens.hpp"
#include "fakes.hpp"
#include "support/test_files.hpp"

namespace folvane {
namespace {

using testing::fixedExpander;

std::string expand(const std::string& text, const std::string& path = "/docs/reports/q3.pdf") {
    return fixedExpander().expand(text, path);
}

TEST(TextTokens, DateAndTimeOnASaturdayAfternoon) {
    EXPECT_EQ(expand("[YYYY]-[MM]-[DD]"), "2026-12-05");
    EXPECT_EQ(expand("[D][DEX] [MN]"), "5th December");
    EXPECT_EQ(expand("[YY]"), "2026");
    EXPECT_EQ(expand("[DW] [WD]"), "7 7");
    EXPECT_EQ(expand("[DY]"), "339");
    EXPECT_EQ(expand("[hh]:[mm]:[ss]"), "14:07:09");
    EXPECT_EQ(expand("[AMPM] [ampm]"), "PM pm");
    EXPECT_EQ(expand("[DN] [ADN] [AMN] [M]/[D]"), "Saturday Sat Dec 12/5");
    EXPECT_EQ(expand("[WYS] [WYM]"), "49 49");
    EXPECT_EQ(expand("[MM] and [MM]"), "12 and 12");
    EXPECT_EQ(expand("[VAR(a,b)] [unknown]"), "[VAR(a,b)] [unknown]");
}

TEST(TextTokens, WeekNumbersDayOfYearAndMorning) {
    const struct {
        LocalTime at;
        const char* expanded; // [WYS] [WYM] [DW] [DY] [ADN] [AMPM]
    } cases[] = {
        // A Sunday: week 1 by Sundays, week 0 (+1) by Mondays.
        {{2023, 1, 1, 9, 0, 0}, "02 01 1 001 Sun AM"},
        // February of a leap year: its 29th day is not yet counted in February itself.
        {{2024, 2, 25, 13, 0, 0}, "09 09 1 056 Sun PM"},
        {{2024, 2, 29, 0, 0, 0}, "09 10 5 060 Thu AM"},
        {{2024, 3, 1, 0, 0, 0}, "09 10 6 061 Fri AM"},
        {{2024, 12, 31, 0, 0, 0}, "53 54 3 366 Tue AM"},
    };
    for (const auto& c : cases) {
        const TokenExpander e([&c] { return c.at; },
                              [](const std::string&) { return FileTimes{}; });
        EXPECT_EQ(e.expand("[WYS] [WYM] [DW] [DY] [ADN] [AMPM]", ""), c.expanded)
            << c.at.year << "-" << c.at.month << "-" << c.at.day;
    }
}

TEST(TextTokens, DaySuffixes) {
    const int days[] = {1, 2, 3, 4, 11, 12, 13, 21, 22, 23, 31};
    const char* suffixes[] = {"st", "nd", "rd", "th", "th", "th", "th", "st", "nd", "rd", "st"};
    for (size_t i = 0; i < std::size(days); ++i) {
        const int day = days[i];
        const TokenExpander e([day] { return LocalTime{2026, 1, day, 0, 0, 0}; },
                              [](const std::string&) { return FileTimes{}; });
        EXPECT_EQ(e.expand("[DEX]", ""), suffixes[i]) << "day " << day;
    }
}

TEST(TextTokens, PathTokens) {
    EXPECT_EQ(expand("[FILENAME]"), "/docs/reports/q3.pdf");
    EXPECT_EQ(expand("[FILETITLEEXT]"), "q3.pdf");
    EXPECT_EQ(expand("[FILETITLE]"), "q3");
    EXPECT_EQ(expand("[FOLDERPATH]"), "/docs/reports");
    EXPECT_EQ(expand("[TOPFOLDERPATH]"), "reports");
    EXPECT_EQ(expand("[TOPFOLDERPATH]", "C:\\q3.pdf"), "q3.pdf");
    EXPECT_EQ(expand("[FOLDERPATH]|[TOPFOLDERPATH]", "C:\\docs\\reports\\q3.pdf"),
              "C:\\docs\\reports|reports");
    EXPECT_EQ(expand("[FOLDERPATH]|[TOPFOLDERPATH]", "q3.pdf"), "q3.pdf|q3.pdf");
    EXPECT_EQ(expand("[FILETITLE]", "/a/.hidden"), ".hidden");
    EXPECT_EQ(expand("[FILETITLE]", "/a/b.c.pdf"), "b.c");
}

TEST(TextTokens, ValuesAreExpandedOnlyByLaterTokensAndNeverLoop) {
    // A path holding a later token gets it replaced; one holding its own token does not loop.
    EXPECT_EQ(expand("[FILENAME]", "/x/[D].pdf"), "/x/5.pdf");
    EXPECT_EQ(expand("[FILENAME]", "/x/[FILENAME].pdf"), "/x/[FILENAME].pdf");
}

TEST(TextTokens, TextWithoutBracketIsNotTouchedAndReadsNothing) {
    int clockReads = 0, fileReads = 0;
    const TokenExpander e(
        [&] {
            ++clockReads;
            return LocalTime{};
        },
        [&](const std::string&) {
            ++fileReads;
            return FileTimes{};
        });
    EXPECT_EQ(e.expand("Page ", ""), "Page ");
    EXPECT_EQ(clockReads + fileReads, 0);
    e.expand("[MM][DD][hh]", "");
    EXPECT_EQ(clockReads, 1);
    EXPECT_EQ(fileReads, 0);
}

TEST(TextTokens, FileTimesOfARealFile) {
    const testpdf::TempDir dir;
    testpdf::writeFile(dir.file("times.pdf"), "x");
    const TokenExpander e(testing::fixedTime);
    const std::string text = e.expand("[CREATEDTIME]|[MODIFIEDTIME]", dir.file("times.pdf"));
    const std::regex stamp(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)");
    const auto bar = text.find('|');
    ASSERT_NE(bar, std::string::npos);
    const std::string created = text.substr(0, bar), modified = text.substr(bar + 1);
    EXPECT_TRUE(std::regex_match(modified, stamp)) << modified;
    // The birth time exists only where the file system records one.
    EXPECT_TRUE(created.empty() || std::regex_match(created, stamp)) << created;
    EXPECT_EQ(e.expand("[CREATEDTIME][MODIFIEDTIME]", "/no/such/file.pdf"), "");
}

TEST(Preview, ComposesNumbersAroundTheTexts) {
    const TokenExpander e = fixedExpander();
    PageParameters p;
    EXPECT_EQ(previewText(p, e), "Page 1 / 9999");
    p.maskDigits = 3;
    p.firstNumber = 0;
    EXPECT_EQ(previewText(p, e), "Page 000 / 9999");
    p.maskDigits = 0;
    EXPECT_EQ(previewText(p, e), "Page  / 9999");
    p.firstNumber = -5;
    p.maskDigits = 3;
    EXPECT_EQ(previewText(p, e), "Page -005 / 9999");
    p.firstNumber = 12;
    p.maskDigits = 0;
    p.onePageNumberOnly = true;
    EXPECT_EQ(previewText(p, e), "Page 12 / ");
    p.romanUpper = true;
    EXPECT_EQ(previewText(p, e), "Page XII / ");
    p.onePageNumberOnly = false;
    EXPECT_EQ(previewText(p, e), "Page XII / CMXCIX");
    p.romanLower = true; // lower case wins in the preview
    EXPECT_EQ(previewText(p, e), "Page xii / cmxcix");
    p.noPageNumbers = true;
    EXPECT_EQ(previewText(p, e), "Page  / ");
}

TEST(Preview, ExpandsPrefixAndEndButNotTheSeparator) {
    PageParameters p;
    p.prefixText = "[YYYY] ";
    p.separatorText = " [MM] ";
    p.endText = " [FILETITLE]";
    p.inputPath = "/a/b/report.pdf";
    EXPECT_EQ(previewText(p, fixedExpander()), "2026 1 [MM] 9999 report");
}

TEST(Preview, HasNoLengthLimit) {
    PageParameters p;
    p.prefixText = std::string(1000, 'a');
    p.endText = std::string(1000, 'z');
    const std::string text = previewText(p, fixedExpander());
    EXPECT_EQ(text.size(), 2000u + std::string("1 / 9999").size());
    p.maskDigits = 2147483647; // must not try to fill two gigabytes of zeros
    EXPECT_LT(previewText(p, fixedExpander()).size(), 100000u);
}

} // namespace
} // namespace folvane
