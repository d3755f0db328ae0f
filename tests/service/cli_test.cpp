// The command-line contract: options in order, integer forms, usage errors, help.
#include <gtest/gtest.h>

#include "support/pdf_builder.hpp"
#include "support/test_files.hpp"

using namespace testpdf;

TEST(Cli, UsageErrorsExitTwoWithoutRunning) {
    TempDir dir;
    const std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
    writeFile(in, simpleDocument(1).build());
    struct Case {
        std::vector<std::string> args;
        const char* mentions;
    };
    const std::vector<Case> cases{
        {{"--nosuch", "1", in, out}, "--nosuch"},
        {{in, out, "--fontSize"}, "--fontSize"},
        {{"--fontSize", "12pt", in, out}, "12pt"},
        {{"--color", "0x1FFFFFFFF", in, out}, "--color"},
        {{"--startPage", "99999999999", in, out}, "--startPage"},
        {{in}, "INPUT OUTPUT"},
        {{in, out, "params", "extra"}, "INPUT OUTPUT"},
    };
    for (const Case& c : cases) {
        const CommandResult r = runTavrix(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.mentions;
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fileExists(out));
    }
}

TEST(Cli, OptionsTakeBothFormsHexAndNegativeValuesAndEmptyTexts) {
    TempDir dir;
    const std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
    writeFile(in, simpleDocument(2).build());
    const CommandResult r = runTavrix({"--color", "0xFF0000", "--startNumber=-1",
                                       "--sep=", "--prefix", "No. ", "--onePageNo", "1", in, out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string output = readFile(out);
    EXPECT_NE(output.find("1.000000 0.000000 0.000000 rg"), std::string::npos);
    EXPECT_NE(output.find("(No. -1) Tj"), std::string::npos);
    EXPECT_NE(output.find("(No. 0) Tj"), std::string::npos);
    // Names bind without regard to case, as automation clients bind them.
    EXPECT_EQ(runTavrix({"--FONTSIZE", "14", in, out}).exitCode, 0);
    EXPECT_NE(readFile(out).find(" 14 Tf"), std::string::npos);
}

TEST(Cli, HelpListsEveryPropertyWithItsDefaultAndTheFileListForm) {
    const CommandResult r = runTavrix({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* line : {"--startPage", "[99999]", "--prefix", "[Page ]", "--CMYKcolor",
                             "--renameoutput", "-fFOLDER", "-oPATH"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line;
}
