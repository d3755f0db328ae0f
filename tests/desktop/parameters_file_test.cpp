// Page parameters files: exact bytes written, the resets and rules of reading.
#include <cmath>
#include <gtest/gtest.h>

#include "desktop/model/parameters_file.hpp"
#include "support/test_files.hpp"

namespace folvane {
namespace {

class ParametersFileTest : public ::testing::Test {
  protected:
    std::string write(const std::string& name, const std::string& bytes) {
        testpdf::writeFile(dir_.file(name), bytes);
        return dir_.file(name);
    }
    static std::string read(const std::string& path) { return testpdf::readFile(path); }

    testpdf::TempDir dir_;
};

TEST_F(ParametersFileTest, StartValuesAreWrittenAsExactBytes) {
    const std::string expected = "PREFIXSTR;Page \r\n"
                                 "SEPSTR; / \r\n"
                                 "ENDSTR;\r\n"
                                 "STARTNUM;1\r\n"
                                 "ENDNUM;99999\r\n"
                                 "STARTPROC;1\r\n"
                                 "ENDPROC;99999\r\n"
                                 "FONTNAME;Arial\r\n"
                                 "FONTTYPE;TrueType\r\n"
                                 "FONTFLAGS;STD_ENCODING\r\n"
                                 "FONTSIZE;11\r\n"
                                 "INCPAGENOEVERY;1\r\n"
                                 "OPACITY;100\r\n"
                                 "POSITION;Bottom Left\r\n"
                                 "POSITIONALL;Bottom Left\r\n"
                                 "POSITIONEVEN;Bottom Right\r\n"
                                 "VERTICAL;10\r\n"
                                 "HORIZONTAL;20\r\n"
                                 "VERTICALALL;10\r\n"
                                 "HORIZONTALALL;20\r\n"
                                 "VERTICALEVEN;10\r\n"
                                 "HORIZONTALEVEN;80\r\n"
                                 "MASK;0\r\n"
                                 "EMBEDFONTS\r\n"
                                 "SAMEPOSITION\r\n"
                                 "ALIGNTEXTLEFT\r\n"
                                 "ALIGNTEXTLEFTALL\r\n"
                                 "ALIGNTEXTLEFTEVEN\r\n"
                                 "APPLYTOALL\r\n"
                                 "1NTH;0\r\n"
                                 "CALCRIGHTEVEN\r\n"
                                 "FORCEPORTRAIT\r\n"
                                 "TEXTCOLOR;0\r\n"
                                 "TEXTCOLORCMYKC;0\r\n"
                                 "TEXTCOLORCMYKM;0\r\n"
                                 "TEXTCOLORCMYKY;0\r\n"
                                 "TEXTCOLORCMYKK;0\r\n"
                                 "DEGREESANGLE;0\r\n"
                                 "INFILE;\r\n"
                                 "OUTFILE;\r\n";
    const std::string path = dir_.file("start.ppf");
    ASSERT_TRUE(writeParametersFile(PageParameters{}, path));
    EXPECT_EQ(read(path), expected);
}

TEST_F(ParametersFileTest, EverythingSurvivesSaveAndLoadWithPaths) {
    PageParameters p;
    p.prefixText = " Sheet ";
    p.separatorText = " of ";
    p.endText = "[FILETITLE]";
    p.firstNumber = -3;
    p.lastPage = 12;
    p.onePageNumberOnly = p.twoUp = p.sequential = p.reverse = p.romanLower = true;
    p.carryOver = p.embedFontSubset = p.useCmyk = true;
    p.forcePortrait = p.embedFonts = false;
    p.fontName = "Verdana-Bold";
    p.fontSize = 11.54;
    p.angleDegrees = 45;
    p.opacityPercent = 50;
    p.textColor = 16711680;
    p.cmykC = 10, p.cmykM = 20, p.cmykY = 30, p.cmykK = 40;
    p.shown = {"Top Right", 780, -1, true, true, false, false, true};
    p.allOdd = {"Top Middle", 5.25, 7, false, true, false, true, false};
    p.oddEvenDifferent = true, p.samePosition = false;
    p.applyToEven = true, p.applyToAll = false;
    p.nth = 2;
    p.maskDigits = 3;
    p.inputPath = "/data/in.pdf";
    p.outputPath = "/data/out.pdf";
    const std::string path = dir_.file("all.ppf");
    ASSERT_TRUE(writeParametersFile(p, path));

    PageParameters loaded;
    CmykValues form{};
    ASSERT_TRUE(readParametersFile(loaded, path, true, &form));
    EXPECT_EQ(loaded, p);
    EXPECT_EQ(form, (CmykValues{10, 20, 30, 40}));
}

TEST_F(ParametersFileTest, LoadingResetsPresenceFlagsAndKeepsTheRest) {
    PageParameters p;
    p.abTwoUp = p.useCmyk = p.reverse = true;
    p.shown.alignCenter = true;
    p.even.fromRight = p.allOdd.fromTop = true;
    p.angleDegrees = 90;
    p.opacityPercent = 20;
    p.applyToAll = false, p.applyToEven = true;
    p.fontName = "Courier";
    p.textColor = 255;
    p.inputPath = "kept.pdf";
    const std::string path = write("one.ppf", "PREFIXSTR;Folio \n");
    ASSERT_TRUE(readParametersFile(p, path, true));

    PageParameters expected = p;
    expected.prefixText = "Folio ";
    expected.abTwoUp = expected.useCmyk = expected.reverse = false;
    expected.forcePortrait = expected.embedFonts = false;
    expected.shown.alignLeft = expected.shown.alignCenter = false;
    expected.allOdd.alignLeft = expected.even.alignLeft = false;
    expected.even.fromRight = expected.allOdd.fromTop = false;
    expected.angleDegrees = 0;
    expected.opacityPercent = 100;
    expected.applyToAll = true, expected.applyToEven = false;
    EXPECT_EQ(p, expected);
    EXPECT_EQ(p.fontName, "Courier");
    EXPECT_EQ(p.textColor, 255u);
}

TEST_F(ParametersFileTest, UnreadableFileChangesNothing) {
    PageParameters p;
    p.twoUp = true;
    p.prefixText = "x";
    const PageParameters before = p;
    EXPECT_FALSE(readParametersFile(p, dir_.file("missing.ppf"), true));
    EXPECT_EQ(p, before);
}

TEST_F(ParametersFileTest, LineRules) {
    const std::string longPrefix(600, 'p');
    const std::string path = write("rules.ppf", "PREFIXSTR;first\r\n"
                                                "PREFIXSTR;" +
                                                    longPrefix +
                                                    "\r\n"
                                                    "SEPSTR;a;b;c\r\n"
                                                    ";;;\r\n"
                                                    ";FONTNAME;;Courier\r\n"
                                                    "\r\n"
                                                    "ENDSTR;\r\n"
                                                    "STARTNUM;12abc\n"
                                                    "ENDNUM;abc\n"
                                                    "STARTPROC;  -7\n"
                                                    "MASK;\n"
                                                    "UNKNOWNKEY;5\n"
                                                    "prefixstr;lower case key is not a key\n"
                                                    "ODDEVENDIFFERENT\n"
                                                    "SAMEPOSITION\n"
                                                    "APPLYTOEVEN\n"
                                                    "FONTSIZE;1.5e1pt\n"
                                                    "TEXTCOLOR;16711680\n"
                                                    "INFILE;/a/b.pdf\n");
    PageParameters p;
    p.endText = "old";
    p.maskDigits = 4;
    ASSERT_TRUE(readParametersFile(p, path, false));
    EXPECT_EQ(p.prefixText, longPrefix); // last one wins, and long lines are read whole
    EXPECT_EQ(p.separatorText, "a");     // cut at the second semicolon
    EXPECT_EQ(p.fontName, "Courier");    // empty pieces are skipped
    EXPECT_EQ(p.endText, "");            // a value line without a value gives empty text
    EXPECT_EQ(p.firstNumber, 12);
    EXPECT_EQ(p.lastNumber, 0);
    EXPECT_EQ(p.firstPage, -7);
    EXPECT_EQ(p.maskDigits, 0);
    EXPECT_TRUE(p.samePosition);
    EXPECT_FALSE(p.oddEvenDifferent);
    EXPECT_TRUE(p.applyToEven);
    EXPECT_FALSE(p.applyToAll);
    EXPECT_DOUBLE_EQ(p.fontSize, 15);
    EXPECT_EQ(p.textColor, 16711680u);
    EXPECT_EQ(p.inputPath, ""); // paths only at start-up
}

TEST_F(ParametersFileTest, SemicolonInTextIsSavedButLoadsCut) {
    PageParameters p;
    p.prefixText = "Page; ";
    const std::string path = dir_.file("semi.ppf");
    ASSERT_TRUE(writeParametersFile(p, path));
    EXPECT_NE(read(path).find("PREFIXSTR;Page; \r\n"), std::string::npos);
    PageParameters loaded;
    ASSERT_TRUE(readParametersFile(loaded, path, false));
    EXPECT_EQ(loaded.prefixText, "Page");
}

TEST_F(ParametersFileTest, RealsUseSixSignificantDigits) {
    PageParameters p;
    p.fontSize = 11.54;
    p.shown.vertical = 1234567.0;
    p.shown.horizontal = -1;
    p.allOdd.vertical = 0.1234567;
    const std::string bytes = formatParameters(p);
    EXPECT_NE(bytes.find("FONTSIZE;11.54\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("VERTICAL;1.23457e+06\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("HORIZONTAL;-1\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("VERTICALALL;0.123457\r\n"), std::string::npos);
    PageParameters loaded;
    parseParameters(loaded, bytes, false);
    EXPECT_DOUBLE_EQ(loaded.shown.vertical, 1234570);
}

TEST_F(ParametersFileTest, HugeNumbersSaturateInsteadOfWrapping) {
    PageParameters p;
    parseParameters(p, "STARTNUM;99999999999999999999999\nENDNUM;-99999999999\nFONTSIZE;1e999\n",
                    false);
    EXPECT_EQ(p.firstNumber, 2147483647);
    EXPECT_EQ(p.lastNumber, -2147483647 - 1);
    EXPECT_TRUE(std::isfinite(p.fontSize));
}

} // namespace
} // namespace folvane
