// Stamps in any language: texts that Windows-1252 cannot hold are drawn with an embedded subset
// of an installed font, and three independent readers (poppler, MuPDF, pdf.js) read them back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "support/pdf_builder.hpp"
#include "support/test_files.hpp"
#include "writer/stamp_run.hpp"

using namespace testpdf;

namespace {

// The faces come from the Debian font packages that tools/install-deps.sh installs, and only
// from them, whatever else the machine has: the engine runs (and the readers) see this
// configuration, set for each test of this file only.
const std::string kFontsConf = TAVRIX_SOURCE_DIR "/tests/fonts/fonts.conf";

class UnicodeStamp : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* old = std::getenv("FONTCONFIG_FILE")) saved_ = old;
        ::setenv("FONTCONFIG_FILE", kFontsConf.c_str(), 1);
    }
    void TearDown() override {
        if (saved_)
            ::setenv("FONTCONFIG_FILE", saved_->c_str(), 1);
        else
            ::unsetenv("FONTCONFIG_FILE");
    }
    std::optional<std::string> saved_;
};

// Pages that hold nothing but the stamp, so that a reader's text of a page is the stamp's.
std::string blankDocument(const TempDir& dir, int pages) {
    PdfBuilder b;
    std::string kids;
    for (int k = 0; k < pages; ++k) {
        kids += std::to_string(3 + k) + " 0 R ";
        b.base().objects[3 + k] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>";
    }
    b.base().objects[1] = "<< /Type /Catalog /Pages 2 0 R >>";
    b.base().objects[2] =
        "<< /Type /Pages /Kids [ " + kids + "] /Count " + std::to_string(pages) + " >>";
    const std::string path = dir.file("in.pdf");
    writeFile(path, b.build());
    return path;
}

std::string trimmed(std::string text) {
    while (!text.empty() && std::string(" \n\r\f\t").find(text.back()) != std::string::npos)
        text.pop_back();
    size_t start = 0;
    while (start < text.size() && (text[start] == '\n' || text[start] == ' '))
        ++start;
    return text.substr(start);
}

// Readers lay right-to-left text out by their own rules: poppler marks the direction of each
// stretch with embedding controls and moves the blanks next to numbers, pdf.js drops the blanks
// between words it reads right to left. What must hold is that every character comes in the
// order it is written.
std::string lettersInOrder(const std::string& text) {
    std::string out = std::regex_replace(text, std::regex("\xE2\x80[\xAA-\xAE\x8E\x8F]"), "");
    return std::regex_replace(out, std::regex("[ \n\r\f\t]+"), "");
}

std::string mupdfText(const std::string& pdf, int page) {
    return runCommand({"mutool", "draw", "-q", "-F", "txt", pdf, std::to_string(page)}).out;
}

std::vector<std::string> pdfjsPages(const std::string& pdf) {
    const CommandResult r =
        runCommand({"node", TAVRIX_SOURCE_DIR "/tests/pdfjs/page_text.js", pdf});
    EXPECT_EQ(r.exitCode, 0) << r.err << " (tools/install-deps.sh installs pdf.js)";
    std::vector<std::string> pages;
    size_t start = 0;
    for (size_t ff = r.out.find('\f'); ff != std::string::npos; ff = r.out.find('\f', start)) {
        pages.push_back(r.out.substr(start, ff - start));
        start = ff + 1;
    }
    return pages;
}

// Embedded fonts as pdffonts lists them: name, type, embedded and subset columns.
std::vector<std::string> fontLines(const std::string& pdf) {
    const std::string out = runCommand({"pdffonts", pdf}).out;
    std::vector<std::string> lines;
    size_t at = out.find("---");
    at = at == std::string::npos ? out.size() : out.find('\n', at);
    while (at != std::string::npos && at + 1 < out.size()) {
        const size_t end = out.find('\n', at + 1);
        lines.push_back(out.substr(at + 1, end - at - 1));
        at = end;
    }
    return lines;
}

struct Row {
    const char* name;
    const char* font;
    const char* prefix;
    const char* sep;
    const char* end;
    bool rightToLeft;
};

const Row kRows[] = {
    {"Polish", "Arial", "Strona ", " z ", " (\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87)", false},
    {"Czech", "TimesNewRoman-Italic", "Str\xC3\xA1nka ", " ze ", " \xE2\x80\x93 \xC5\x99", false},
    {"Cyrillic", "Arial-Bold", "\xD0\xA1\xD1\x82\xD1\x80\xD0\xB0\xD0\xBD\xD0\xB8\xD1\x86\xD0\xB0 ",
     " \xD0\xB8\xD0\xB7 ", "", false},
    {"Cyrillic in a CFF font", "Nimbus Sans", "\xD0\xA1\xD1\x82\xD1\x80. ", " / ", "", false},
    {"Greek", "Arial", "\xCE\xA3\xCE\xB5\xCE\xBB\xCE\xAF\xCE\xB4\xCE\xB1 ",
     " \xCE\xB1\xCF\x80\xCF\x8C ", "", false},
    {"Chinese in a TrueType collection", "WenQuanYi Micro Hei", "\xE7\xAC\xAC ",
     " \xE9\xA1\xB5 / \xE5\x85\xB1 ", " \xE9\xA1\xB5", false},
    {"Chinese in a CID-keyed CFF font", "Noto Sans CJK SC", "\xE7\xAC\xAC ",
     " \xE9\xA1\xB5 / \xE5\x85\xB1 ", " \xE9\xA1\xB5", false},
    {"Arabic", "Arial", "\xD8\xB5\xD9\x81\xD8\xAD\xD8\xA9 ", " \xD9\x85\xD9\x86 ", "", true},
    {"Hebrew", "Arial", "\xD7\xA2\xD7\x9E\xD7\x95\xD7\x93 ", " \xD7\x9E\xD7\xAA\xD7\x95\xD7\x9A ",
     "", true},
    {"Combining mark", "Arial", "Pe\xCC\x81ge ", " / ", "", false},
};

TEST_F(UnicodeStamp, EachLanguageIsEmbeddedDrawnCentredAndReadBackByThreeReaders) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::string in = blankDocument(dir, 3), out = dir.file("out.pdf");
        const CommandResult r =
            runTavrix({"--font", row.font, "--prefix", row.prefix, "--sep", row.sep, "--end",
                       row.end, "--fontSize", "24", "--posh", "-1", "--align", "center", in, out});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        std::string report;
        EXPECT_TRUE(qpdfCheck(out, false, &report)) << report;

        // One font, embedded and subset, and small.
        const std::vector<std::string> fonts = fontLines(out);
        ASSERT_EQ(fonts.size(), 1u);
        EXPECT_TRUE(
            std::regex_search(fonts[0], std::regex("^[A-Z]{6}\\+\\S+ +CID .* yes yes yes ")))
            << fonts[0];
        EXPECT_LT(readFile(out).size(), 24u * 1024);

        const std::vector<std::string> js = pdfjsPages(out);
        ASSERT_EQ(js.size(), 3u);
        for (int page = 1; page <= 3; ++page) {
            const std::string expected =
                std::string(row.prefix) + std::to_string(page) + row.sep + "3" + row.end;
            const std::string poppler = trimmed(pdfText(out, page));
            const std::string mupdf = trimmed(mupdfText(out, page));
            const std::string pdfjs = trimmed(js[static_cast<size_t>(page - 1)]);
            EXPECT_EQ(mupdf, expected) << "MuPDF, page " << page;
            if (row.rightToLeft) {
                EXPECT_EQ(lettersInOrder(poppler), lettersInOrder(expected)) << "poppler " << page;
                EXPECT_EQ(lettersInOrder(pdfjs), lettersInOrder(expected)) << "pdf.js " << page;
            } else {
                EXPECT_EQ(poppler, expected) << "poppler, page " << page;
                EXPECT_EQ(pdfjs, expected) << "pdf.js, page " << page;
            }
        }

        // Centred on the middle of the page: 306 points, 153 pixels at 36 dpi.
        const stamptest::DarkBox ink = stamptest::darkBox(out, 2);
        ASSERT_TRUE(ink.any());
        EXPECT_NEAR((ink.minX + ink.maxX) / 2.0, ink.width / 2.0, 2.0)
            << ink.minX << ".." << ink.maxX << " of " << ink.width;
        EXPECT_GE(ink.maxY, ink.height - 12); // at the bottom, 10 points up
    }
}

TEST_F(UnicodeStamp, TextsThatWindows1252HoldsKeepTheSingleByteFont) {
    TempDir dir;
    const std::string in = blankDocument(dir, 3), out = dir.file("out.pdf");
    const CommandResult r = runTavrix({"--prefix", "Seite ", "--sep", " \xE2\x80\x93 ", "--end",
                                       " Caf\xC3\xA9 \xE2\x82\xAC", "--rom", "1", in, out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string bytes = readFile(out);
    EXPECT_NE(bytes.find("/Subtype /TrueType\n/Encoding /WinAnsiEncoding\n/BaseFont /Arial\n"),
              std::string::npos);
    EXPECT_NE(bytes.find("\n(Seite iii \x96 iii Caf\xE9 \x80) Tj\nET\n"), std::string::npos);
    EXPECT_EQ(bytes.find("/Type0"), std::string::npos);
    EXPECT_EQ(trimmed(pdfText(out, 3)), "Seite iii \xE2\x80\x93 iii Caf\xC3\xA9 \xE2\x82\xAC");
}

// A mark that shaping moves below its letter, in a stamp of size 0: moved by "0", not "-0".
TEST_F(UnicodeStamp, AMarkBelowAtSizeZeroRisesByAPlainZero) {
    TempDir dir;
    const std::string in = blankDocument(dir, 1), out = dir.file("out.pdf");
    const CommandResult r = runTavrix({"--fontSize", "0", "--prefix", "g\xCC\xA3 ", in, out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string bytes = readFile(out);
    EXPECT_NE(bytes.find(" Ts\n"), std::string::npos);
    EXPECT_EQ(bytes.find("-0 Ts"), std::string::npos);
}

TEST_F(UnicodeStamp, ACharacterNoFontHasFailsTheRunAndWritesNothing) {
    TempDir dir;
    const std::string in = blankDocument(dir, 2), out = dir.file("out.pdf");
    // U+1F9EA, a test tube: no font of the packages draws it.
    const CommandResult r =
        runTavrix({"--prefix", "\xD0\xA1\xD1\x82\xD1\x80. \xF0\x9F\xA7\xAA ", in, out});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Stamp file issue\r\ntavrix: no installed font has U+1F9EA; install one, "
                     "e.g. fonts-noto-core\n");
    EXPECT_FALSE(fileExists(out));
}

TEST_F(UnicodeStamp, ATextNoSingleFontDrawsTakesAFontPerCharacter) {
    TempDir dir;
    const std::string in = blankDocument(dir, 2), out = dir.file("out.pdf");
    // Tibetan, Chinese and Linear B (U+10000, the first character past 16 bits) share no face
    // among the packages.
    const std::string prefix = "\xE0\xBD\x80 \xE7\xAC\xAC \xF0\x90\x80\x80 ";
    const CommandResult r = runTavrix({"--prefix", prefix, in, out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(qpdfCheck(out));
    EXPECT_EQ(fontLines(out).size(), 4u); // and one for the blanks and digits after Linear B
    EXPECT_NE(readFile(out).find("<FEFF0F4000207B2C0020D800DC000020"), std::string::npos);
    EXPECT_EQ(trimmed(pdfText(out, 2)), prefix + "2 / 2");
    EXPECT_EQ(trimmed(mupdfText(out, 2)), prefix + "2 / 2");
}

TEST_F(UnicodeStamp, ADamagedFontFileThatFontconfigListsIsRefusedWithAReason) {
    TempDir dir;
    const std::string in = blankDocument(dir, 1), out = dir.file("out.pdf");
    const std::filesystem::path fonts = dir.path() / "fonts";
    std::filesystem::create_directory(fonts);
    // Cut inside the last tables: fontconfig still reads the face's name and characters.
    const std::string font = readFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    ASSERT_GT(font.size(), 700000u);
    writeFile((fonts / "Cut.ttf").string(), font.substr(0, 700000));
    const std::string conf = dir.file("fonts.conf");
    writeFile(conf, "<?xml version=\"1.0\"?>\n<fontconfig><dir>" + fonts.string() +
                        "</dir><cachedir>" + dir.file("cache") + "</cachedir></fontconfig>\n");
    ::setenv("FONTCONFIG_FILE", conf.c_str(), 1);
    const CommandResult r = runTavrix({"--prefix", "\xD0\xA1\xD1\x82\xD1\x80. ", in, out});
    ::setenv("FONTCONFIG_FILE", kFontsConf.c_str(), 1);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("tavrix: font file '" + (fonts / "Cut.ttf").string() +
                         "' is damaged (its 'post' table runs past the end of the file)"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fileExists(out));
}

} // namespace
