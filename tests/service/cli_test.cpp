// The command-line contract: options in order, integer forms, usage errors, help.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST(Cli, FailedFilesAreExplainedOnStandardErrorAfterTheResultText) {
    TempDir dir;
    const std::string good = dir.file("good.pdf"), out = dir.file("out.pdf");
    writeFile(good, simpleDocument(1).build());
    const std::string missing = dir.file("missing.pdf");
    CommandResult r = runTavrix({missing, out});
    EXPECT_EQ(r.exitCode, 1);
    // Redirected standard output keeps the engine's bytes exactly.
    EXPECT_EQ(r.out, "Input file: '" + missing + "'");
    EXPECT_EQ(r.err, "Stamp file issue\r\ntavrix: cannot open '" + missing +
                         "': No such file or directory\n");

    r = runTavrix({"--font", "Ariel", good, out});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("\ntavrix: unknown font name 'Ariel'"), std::string::npos) << r.err;

    // One line per failed file of a list; the list's result is its last line's.
    const std::string list = dir.file("list.txt");
    writeFile(list, "one.pdf\n" + good + "\ntwo.pdf\n" + good + "\n");
    r = runTavrix({list, "-o" + out});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "tavrix: cannot open 'one.pdf': No such file or directory\n"
                     "tavrix: cannot open 'two.pdf': No such file or directory\n");
}

TEST(Cli, OnATerminalTheReasonStartsOnALineOfItsOwn) {
    TempDir dir;
    const std::string missing = dir.file("missing.pdf");
    runTavrix({"--help"}); // registers the engine for this process
    int master = -1, slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const std::string errPath = dir.file("err.txt");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(slave, STDOUT_FILENO);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(err, STDERR_FILENO);
        ::execl(tavrixPath().c_str(), "tavrix", missing.c_str(), dir.file("o.pdf").c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(slave);
    std::string terminal;
    char buffer[512];
    for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
        terminal.append(buffer, static_cast<size_t>(n));
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(master);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    // The terminal turns the line feed into CR LF.
    EXPECT_EQ(terminal, "Input file: '" + missing + "'\r\n");
    EXPECT_EQ(readFile(errPath).rfind("Stamp file issue\r\ntavrix: cannot open", 0), 0u);
}
