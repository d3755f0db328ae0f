// Fonts files: record fields, line rules, the file mark, and loading into the shared table.

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <thread>

#include "engine/fonts/font_metrics.hpp"
#include "engine/fonts/fonts_file.hpp"

namespace tavrix {
namespace {

// A record with box -10 -20 900 800 and the given "|w0|w1|..." tail.
std::string record(const std::string& name, const std::string& widths = "") {
    return "FONT|" + name + "|-10|-20|900|800|0|0|0|0|0|0" + widths + "\n";
}

std::string repeatedWidth(int value, int count) {
    std::string widths;
    for (int i = 0; i < count; ++i)
        widths += "|" + std::to_string(value);
    return widths;
}

std::optional<std::vector<FontMetrics>> readRecords(const std::string& bytes) {
    std::istringstream in(bytes);
    return readFontRecords(in);
}

// The table is shared by the whole test binary, so each test writes its own file and uses
// font names no other test uses.
std::string writeFontsFile(const std::string& bytes) {
    const std::string path = ::testing::TempDir() + "tavrix_fonts_" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                             ".txt";
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

// Fields by position: a run of separators counts as one, text in a number field reads as its
// leading digits (or 0), numbers saturate, and missing fields are 0.
TEST(FontRecord, FieldsByPosition) {
    std::string many = "FONT|N|1|2|3|4|5|6|7|8|9|10";
    for (int code = 0; code < 300; ++code)
        many += "|" + std::to_string(code);
    const struct {
        std::string line;
        const char* name;
        std::array<int32_t, 4> box;
        std::array<int32_t, 4> firstWidths;
        int32_t lastWidth;
    } cases[] = {
        {"FONT|Test Face|-46| +12|abc|7x|a|b|c|d|e|f|100|-2|300\r",
         "Test Face",
         {-46, 12, 0, 7},
         {100, -2, 300, 0},
         0}, // the carriage return ends the number
        {"FONT||Name|||1|2|3|4|5|6|7|8|9|10|11|||12", "Name", {1, 2, 3, 4}, {11, 12, 0, 0}, 0},
        {"FONT|N|1|2|3|4|5|6|7|8|9", "N", {1, 2, 3, 4}, {0, 0, 0, 0}, 0},
        {"FONT", "", {0, 0, 0, 0}, {0, 0, 0, 0}, 0},
        {many, "N", {1, 2, 3, 4}, {0, 1, 2, 3}, 255},
        {"FONT|N|99999999999|-99999999999|2147483647|-2147483648",
         "N",
         {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN},
         {0, 0, 0, 0},
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.substr(0, 60));
        const FontMetrics font = parseFontRecord(c.line);
        EXPECT_EQ(font.name, c.name);
        EXPECT_EQ(font.box, c.box);
        EXPECT_EQ((std::array<int32_t, 4>{font.widths[0], font.widths[1], font.widths[2],
                                          font.widths[3]}),
                  c.firstWidths);
        EXPECT_EQ(font.widths[255], c.lastWidth);
    }
}

TEST(FontsFileLines, TwentyBytesAreSkippedTwentyOneAreRead) {
    const std::string line20 = "FONT|Twenty|1|2|3|4\n";
    const std::string line21 = "FONT|Twentyo|1|2|3|4\n";
    ASSERT_EQ(line20.size(), 20u);
    ASSERT_EQ(line21.size(), 21u);
    auto records = readRecords(line20 + line21);
    ASSERT_TRUE(records);
    ASSERT_EQ(records->size(), 1u);
    EXPECT_EQ((*records)[0].name, "Twentyo");

    // Without a line break the last line counts its bytes alone.
    records = readRecords(line20 + line21.substr(0, 20));
    ASSERT_TRUE(records);
    EXPECT_TRUE(records->empty());
    records = readRecords(line20 + "FONT|Twentyon|1|2|3|4");
    ASSERT_TRUE(records);
    EXPECT_EQ(records->size(), 1u);
}

TEST(FontsFileLines, LongLineIsOneRecord) {
    const std::string name(3000, 'L');
    std::string widths;
    for (int code = 0; code < 256; ++code)
        widths += "|" + std::string(10, '0') + std::to_string(code);
    const std::string line = record(name, widths);
    ASSERT_GT(line.size(), 4096u);
    const auto records = readRecords(line + record("Next"));
    ASSERT_TRUE(records);
    ASSERT_EQ(records->size(), 2u);
    EXPECT_EQ((*records)[0].name, name);
    EXPECT_EQ((*records)[0].widths[255], 255);
    EXPECT_EQ((*records)[1].name, "Next");
}

TEST(FontsFileMark, FileMustStartWithMark) {
    EXPECT_FALSE(readRecords(""));
    EXPECT_FALSE(readRecords("FONX|Name|1|2|3|4|5|6|7|8\n"));
    EXPECT_FALSE(readRecords("\n" + record("Name")));
    const auto withHeader = readRecords("FONT\n" + record("Name"));
    ASSERT_TRUE(withHeader);
    EXPECT_EQ(withHeader->size(), 1u);
}

TEST(LoadFontsFile, RecordsBecomeUsableAndBuiltinsWin) {
    const FontMetrics* arial = findFont("Arial");
    const std::array<int32_t, 4> arialBox = arial->box;
    const std::string path =
        writeFontsFile(record("Arial", repeatedWidth(1, 256)) + record("Load Test One") +
                       record("LoadTestTwo", repeatedWidth(7, 3)));
    ASSERT_EQ(findFont("LoadTestOne"), nullptr);

    EXPECT_EQ(loadFontsFile(path), "\nUsing fonts file: '" + path + "'\n");

    EXPECT_EQ(findFont("Arial"), arial);
    EXPECT_EQ(arial->box, arialBox);
    EXPECT_EQ(arial->widths[65], 667);
    const FontMetrics* one = findFont("LoadTestOne");
    const FontMetrics* two = findFont("Load-Test-Two");
    ASSERT_NE(one, nullptr);
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(one->name, "Load Test One");
    EXPECT_EQ(one->box, (std::array<int32_t, 4>{-10, -20, 900, 800}));
    EXPECT_EQ(one->widths[0], 0);
    EXPECT_EQ(textWidth("LoadTestTwo", "\x01\x02\x03"), 14);

    // Loading the file again (the next job) keeps the first entries.
    loadFontsFile(path);
    EXPECT_EQ(findFont("LoadTestOne"), one);
}

TEST(LoadFontsFile, RejectedOrMissingFileChangesNothing) {
    const std::string path = writeFontsFile("XONT|RejectedFace|1|2|3|4|5|6|7|8|9|10|11\n");
    EXPECT_EQ(loadFontsFile(path), "\nUsing fonts file: '" + path + "'\nInvalid font file.\n");
    EXPECT_EQ(findFont("RejectedFace"), nullptr);

    EXPECT_EQ(loadFontsFile(::testing::TempDir() + "tavrix_fonts_no_such_file.txt"), "");
    EXPECT_EQ(loadFontsFile(""), "");
}

TEST(LoadFontsFile, NameWithoutLettersIsNotKept) {
    loadFontsFile(writeFontsFile(record("1234-5678", repeatedWidth(9, 4))));
    EXPECT_EQ(findFont("1234-5678"), nullptr);
    EXPECT_EQ(findFont(""), nullptr);
}

TEST(LoadFontsFile, ConcurrentLoadsAndLookups) {
    constexpr int kNames = 40;
    auto nameOf = [](char thread, int i) {
        return std::string("Concurrent") + thread + char('a' + i / 26) + char('a' + i % 26);
    };
    std::string fileA, fileB;
    for (int i = 0; i < kNames; ++i) {
        fileA += record(nameOf('A', i), repeatedWidth(i + 1, 1));
        fileB += record(nameOf('B', i), repeatedWidth(i + 1, 1));
    }
    const std::string pathA = writeFontsFile(fileA);
    const std::string pathB = pathA + ".b";
    std::ofstream(pathB, std::ios::binary) << fileB;
    const FontMetrics* arial = findFont("Arial");

    std::atomic<bool> wrongLookup{false};
    auto job = [&](const std::string& path, char own) {
        for (int round = 0; round < 20; ++round) {
            loadFontsFile(path);
            for (int i = 0; i < kNames; ++i) {
                const FontMetrics* font = findFont(nameOf(own, i));
                if (font == nullptr || font->widths[0] != i + 1 || findFont("Arial") != arial ||
                    textWidth("Arial", "Page 1") != 3169)
                    wrongLookup = true;
            }
        }
    };
    std::thread a(job, pathA, 'A');
    std::thread b(job, pathB, 'B');
    a.join();
    b.join();
    EXPECT_FALSE(wrongLookup);
    EXPECT_EQ(findFont(nameOf('B', kNames - 1))->widths[0], kNames);
}

} // namespace
} // namespace tavrix
