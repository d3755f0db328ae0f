// The font descriptor and font objects written for the stamp font.

#include <gtest/gtest.h>

#include <string>

#include "engine/fonts/font_objects.hpp"
#include "engine/pdf/pdf_exception.hpp"

namespace tavrix {
namespace {

TEST(FontObjects, ArialFontObjectBytes) {
    const std::string text = fontObjectText("Arial", "F1234", 12);
    const std::string head = " 0 obj\n<<\n/Type /Font\n/Name /F1234 \n/Subtype /TrueType\n"
                             "/Encoding /WinAnsiEncoding\n/BaseFont /Arial\n"
                             "/FontDescriptor 12 0 R\n/FirstChar 0\n/LastChar 255\n/Widths [\n";
    std::string missing;
    for (int i = 0; i < 16; ++i)
        missing += "750 ";
    const std::string widths =
        missing + "\n" + missing + "\n" +
        "278 278 355 556 556 889 667 191 333 333 389 584 278 333 278 278 \n"
        "556 556 556 556 556 556 556 556 556 556 278 278 584 584 584 556 \n"
        "1015 667 667 722 722 667 611 778 722 278 500 667 556 833 722 778 \n"
        "667 778 722 667 611 722 667 944 667 667 611 278 278 278 469 556 \n"
        "333 556 556 500 556 556 278 556 556 222 222 500 222 833 556 556 \n"
        "556 556 333 500 278 556 500 722 500 500 500 334 260 334 584 750 \n"
        "556 750 222 556 333 1000 556 556 333 1000 667 333 1000 750 611 750 \n";
    ASSERT_TRUE(text.starts_with(head + widths)) << text;
    EXPECT_TRUE(text.ends_with(" \n ]\n>>\nendobj\n"));
    size_t lines = 0;
    for (char c : text)
        lines += c == '\n';
    EXPECT_EQ(lines, 11u + 16u + 3u);
}

TEST(FontObjects, NameIsWrittenAsGivenWithMetricsOfItsEntry) {
    EXPECT_NE(fontObjectText("Wingdings2", "F1", 40).find("/BaseFont /Wingdings2\n"),
              std::string::npos);
    EXPECT_NE(fontObjectText("Wingdings2", "F1", 40).find("/FontDescriptor 40 0 R\n"),
              std::string::npos);
    const std::string given = fontObjectText("Arial_Bold", "F1", 1);
    const std::string listed = fontObjectText("Arial-Bold", "F1", 1);
    EXPECT_NE(given.find("/BaseFont /Arial_Bold\n"), std::string::npos);
    EXPECT_EQ(given.substr(given.find("/Widths")), listed.substr(listed.find("/Widths")));
    const std::string arial = fontObjectText("Arial", "F1", 1);
    EXPECT_NE(listed.substr(listed.find("/Widths")), arial.substr(arial.find("/Widths")));
}

TEST(FontObjects, BytesOutsidePdfNameSyntaxAreEscaped) {
    // A raw blank or "/" would split the name and unbalance the dictionary.
    EXPECT_NE(fontDescriptorText("Arial Bold").find("/FontName /Arial#20Bold\n"),
              std::string::npos);
    EXPECT_NE(fontObjectText("Arial/Bold#\xE9", "F7", 3).find("/BaseFont /Arial#2FBold#23#E9\n"),
              std::string::npos);
}

TEST(FontObjects, UnknownFontFailsTheDescriptor) {
    try {
        fontDescriptorText("NoSuchFontAnywhere");
        FAIL() << "no exception";
    } catch (const CPdfException& e) {
        EXPECT_STREQ(e.getMessage(), "Unknown font name");
    }
    EXPECT_EQ(fontObjectText("NoSuchFontAnywhere", "F1", 1).find("/Widths"), std::string::npos);
}

} // namespace
} // namespace tavrix
