// The numbers a list gets one file after another, worked out before stamping: start of each
// file, numbers on its first and last stamped page, the counter after it.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <unistd.h>

#include "engine/pdf/pdf_exception.hpp"
#include "engine/service/list_plan.hpp"
#include "engine/service/progress_bar.hpp"
#include "support/pdf_builder.hpp"
#include "support/test_files.hpp"

namespace tavrix {
namespace {

PageSurvey pages(uint32_t count) {
    PageSurvey s;
    s.pageCount = count;
    for (uint32_t p = 1; p <= count; ++p)
        s.positions.push_back(static_cast<int32_t>(p));
    return s;
}

// "start:first-last>counter" per file, "x" for a file that does not open.
std::string planRow(const StampSettings& settings, NumberChain chain,
                    const std::vector<SurveyResult>& surveys) {
    std::string row;
    for (const PlannedFile& f : planList(settings, chain, surveys)) {
        if (!row.empty()) row += ' ';
        if (!f.opens) {
            row += "x";
            continue;
        }
        row += std::to_string(f.start) + ":";
        row += f.span.first ? std::to_string(*f.span.first) + "-" + std::to_string(*f.span.last)
                            : "none";
        row += ">" + (f.counter ? std::to_string(*f.counter) : "unset");
    }
    return row;
}

TEST(ListPlan, StartsNumbersAndCounterOfARunOneFileAfterAnother) {
    const std::vector<SurveyResult> list{
        {pages(3), ""}, {pages(10), ""}, {std::nullopt, "bad"}, {pages(1), ""}, {pages(4), ""}};
    struct Case {
        const char* name;
        std::function<void(StampSettings&)> set;
        int32_t first;
        bool chained;
        const char* row;
    };
    const Case cases[] = {
        {"counter", [](StampSettings&) {}, 100, true,
         "100:100-102>103 103:103-112>113 x 113:113-113>114 114:114-117>118"},
        {"no counter: every file from its start", [](StampSettings&) {}, 7, false,
         "7:7-9>10 7:7-16>17 x 7:7-7>8 7:7-10>11"},
        {"reverse shows the highest first", [](StampSettings& s) { s.reverse = true; }, 1, true,
         "1:3-1>4 4:13-4>14 x 14:14-14>15 15:18-15>19"},
        {"nth 3 leaves pages out, their numbers too", [](StampSettings& s) { s.nth = 3; }, 1, true,
         "1:1-2>3 3:3-12>13 x 13:13-13>14 14:14-17>18"},
        {"nth 2 seq", [](StampSettings& s) { s.nth = 2, s.seq = true; }, 1, true,
         "1:1-2>3 3:3-7>8 x 8:8-8>9 9:9-10>11"},
        {"a file that stamps nothing resets the counter to 1",
         [](StampSettings& s) { s.startPage = 4; }, 50, true,
         "50:none>1 1:1-7>8 x 8:none>1 1:1-1>2"},
        {"numbers below 0 leave the counter at 1", [](StampSettings&) {}, -20, true,
         "-20:-20--18>1 1:1-10>11 x 11:11-11>12 12:12-15>16"},
        {"numbers past the 32-bit range wrap as a run's do", [](StampSettings&) {}, INT32_MAX - 1,
         true,
         "2147483646:2147483646--2147483648>-2147483648 "
         "-2147483648:-2147483648--2147483639>1 x 1:1-1>2 2:2-5>6"},
    };
    for (const Case& c : cases) {
        StampSettings s;
        c.set(s);
        EXPECT_EQ(planRow(s, NumberChain(c.first, c.chained), list), c.row) << c.name;
    }
}

TEST(ListPlan, CounterFilesAreTheSameWhenTheyNameOneFile) {
    testpdf::TempDir dir;
    testpdf::writeFile(dir.file("counter"), "41");
    ::symlink(dir.file("counter").c_str(), dir.file("link").c_str());
    EXPECT_TRUE(sameCounterFile(dir.file("counter"), dir.file("link")));
    EXPECT_TRUE(sameCounterFile(dir.file("counter"), dir.file("") + "./counter"));
    EXPECT_FALSE(sameCounterFile(dir.file("counter"), dir.file("other")));
    EXPECT_FALSE(sameCounterFile(dir.file("counter"), ""));

    StampSettings s;
    s.importit = dir.file("counter");
    s.exportit = dir.file("link");
    const NumberChain chain = listNumbering(s);
    EXPECT_EQ(chain.nextStart(), 41);
    EXPECT_TRUE(chain.chained());
    s.importit = dir.file("missing");
    EXPECT_THROW(listNumbering(s), CPdfException);
}

TEST(ListPlan, SurveyMeetsEachPageObjectOnceAndFailsAsARunWould) {
    testpdf::TempDir dir;
    testpdf::PdfBuilder b = testpdf::simpleDocument(3);
    // The page tree lists page 4 twice: a run stamps it at its first position only.
    b.base().objects[2] = "<< /Type /Pages /Kids [ 3 0 R 4 0 R 4 0 R 5 0 R ] /Count 4 >>";
    testpdf::writeFile(dir.file("twice.pdf"), b.build());
    const PageSurvey s = surveyPages(dir.file("twice.pdf"));
    EXPECT_EQ(s.pageCount, 4u);
    EXPECT_EQ(s.positions, (std::vector<int32_t>{1, 2, 4}));
    try {
        surveyPages(dir.file("missing.pdf"));
        ADD_FAILURE();
    } catch (const CPdfException& e) {
        EXPECT_EQ(e.reason(),
                  "cannot open '" + dir.file("missing.pdf") + "': No such file or directory");
    }
}

TEST(ProgressBar, LineShowsFilesPagesRateAndTimeLeft) {
    EXPECT_EQ(ProgressBar::line(0, 4, 0, 100, 0),
              "[------------------------] 0/4 files  0/100 pages");
    EXPECT_EQ(ProgressBar::line(1, 4, 50, 100, 2.0),
              "[############------------] 1/4 files  50/100 pages  25 pages/s  0:02 left");
    EXPECT_EQ(ProgressBar::line(4, 4, 120, 100, 3725.0),
              "[########################] 4/4 files  100/100 pages  0 pages/s  1:02:05 in all");
}

} // namespace
} // namespace tavrix
