// Whole runs through TavrixCom and the command-line client: progress lines, objects copied byte for
// byte, the command line's options and messages, the shape of an output
// (header copy, the run's new objects and their numbers, the one cross-reference section and the
// trailer, which page gets which number from the tree), failure paths, file lists, import/export
// and renaming.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/stat.h>

#include <filesystem>
#include <random>

#include "engine/fonts/font_objects.hpp"
#include "engine/service/tavrix_com.hpp"
#include "support/pdf_builder.hpp"
#include "support/test_files.hpp"
#include "tavrix/members.hpp"
#include "writer/stamp_run.hpp"

using namespace testpdf;
using stamptest::dispid;
using stamptest::kFailure;
using stamptest::shows;

namespace {

std::string writeDocument(const TempDir& dir, const std::string& name, PdfBuilder b) {
    const std::string path = dir.file(name);
    writeFile(path, b.build());
    return path;
}

// Every output of these tests must pass the independent checker and keep its pages.
void expectValid(const std::string& path, int pages) {
    std::string report;
    EXPECT_TRUE(qpdfCheck(path, false, &report)) << report;
    EXPECT_EQ(pageCount(path), pages);
}

} // namespace

TEST(Run, PrintsExactProgressLinesWithADotEverySixthPage) {
    TempDir dir;
    const std::string in = writeDocument(dir, "in.pdf", simpleDocument(12));
    const std::string out = dir.file("out.pdf");
    const CommandResult r = runTavrix({in, out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Input file: '" + in + "', output file: '" + out + "'\nProcessing..");
    EXPECT_EQ(r.err, "");
    expectValid(out, 12);
    for (int k = 1; k <= 12; k += 11)
        EXPECT_TRUE(shows(out, k, "Page " + std::to_string(k) + " / 12"));
}

// Every form a file can be stored in is read, stamped on every page and passes the checker:
// object streams and cross-reference streams with a predictor, hybrid files, updates (of which
// only the newest version counts), junk before a small file's header, and what qpdf writes. The
// stamp stands in the same place whatever the form.
TEST(Run, EveryStorageFormStampsEveryPage) {
    TempDir dir;
    struct Case {
        const char* name;
        PdfBuilder file;
        std::vector<std::string> qpdfOptions; // rewrite the file with qpdf first
        const char* firstPageText = "Hello 1";
    };
    std::vector<Case> cases;
    cases.push_back({"object streams, predictor", simpleDocument(3, XrefKind::Stream, true), {}});
    cases.back().file.base().predictor = true;
    cases.push_back({"hybrid", simpleDocument(3, XrefKind::Hybrid, true), {}});
    cases.push_back({"update", simpleDocument(2), {}, "Revised"});
    cases.back().file.addRevision().objects[5] =
        streamBody("", "BT /F1 24 Tf 72 700 Td (Revised) Tj ET");
    cases.push_back({"junk before a small file", simpleDocument(1), {}});
    cases.back().file.junkBeforeHeader = "MIME header junk\r\n\r\n";
    for (const auto& options : {std::vector<std::string>{"--object-streams=generate"},
                                {"--linearize"},
                                {"--object-streams=generate", "--linearize"},
                                {"--qdf"}})
        cases.push_back({"rewritten by qpdf", simpleDocument(7), options});
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.qpdfOptions.empty() ? "" : " " + c.qpdfOptions[0]));
        std::string in = writeDocument(dir, "in.pdf", c.file);
        if (!c.qpdfOptions.empty()) {
            ASSERT_NE(qpdfRewrite(in, dir.file("rewritten.pdf"), c.qpdfOptions), "");
            in = dir.file("rewritten.pdf");
        }
        const std::string out = dir.file("out.pdf");
        ASSERT_EQ(tavrix::TavrixCom().getTavrixFile(in, out, ""), "");
        const int pages = pageCount(in) > 0 ? pageCount(in) : 1;
        expectValid(out, pages);
        EXPECT_EQ(readFile(out).find("/ObjStm"), std::string::npos);
        EXPECT_TRUE(shows(out, 1, c.firstPageText));
        for (int k = 1; k <= pages; ++k)
            EXPECT_TRUE(shows(out, k, "Page " + std::to_string(k) + " / " + std::to_string(pages)));
        stamptest::expectStampAtBottomLeft(out, 1, 306, 396);
        if (!c.qpdfOptions.empty()) continue;
        // Pages read from object streams become plain objects of generation 0 that draw the stamp.
        const stamptest::OutputPdf pdf = stamptest::readOutput(out);
        for (int page = 3; page < 3 + pages; ++page) {
            EXPECT_TRUE(pdf.object(page).starts_with(std::to_string(page) + " 0 obj\n")) << page;
            EXPECT_EQ(pdf.entries[page].gen, 0);
            EXPECT_EQ(stamptest::contentRefs(pdf.object(page)).size(), 3u);
        }
    }
}

TEST(Run, OutputNamingTheInputReplacesItOnlyWithTheFinishedResult) {
    TempDir dir;
    const std::string in = writeDocument(dir, "same.pdf", simpleDocument(2));
    ASSERT_EQ(tavrix::TavrixCom().getTavrixFile(in, in, ""), "");
    expectValid(in, 2);
    EXPECT_TRUE(shows(in, 2, "Page 2 / 2"));
    // The same file through a link.
    const std::string link = dir.file("link.pdf");
    std::filesystem::create_symlink(in, link);
    ASSERT_EQ(tavrix::TavrixCom().getTavrixFile(link, in, ""), "");
    expectValid(in, 2);
    // Through a second name of the file: written in place once the run is over, both names
    // still one file.
    const std::string second = dir.file("second.pdf");
    std::filesystem::create_hard_link(in, second);
    ASSERT_EQ(tavrix::TavrixCom().getTavrixFile(second, in, ""), "");
    expectValid(second, 2);
    EXPECT_EQ(std::filesystem::hard_link_count(in), 2u);
    EXPECT_EQ(readFile(in), readFile(second));
}

TEST(Failures, LeaveNoOutputAndTouchNeitherInputNorAnExistingOutput) {
    TempDir dir;
    const std::string good = writeDocument(dir, "good.pdf", simpleDocument(2));
    PdfBuilder encrypted = simpleDocument(1);
    encrypted.base().objects[9] = "<< /Filter /Standard /V 1 /R 2 >>";
    encrypted.base().trailerExtra = "/Encrypt 9 0 R";
    const std::string enc = writeDocument(dir, "enc.pdf", encrypted);
    PdfBuilder direct = simpleDocument(1);
    direct.base().trailerExtra = "/Encrypt << /Filter /Standard /V 1 /R 2 >>";
    const std::string encDirect = writeDocument(dir, "enc-direct.pdf", direct);
    std::string damagedBytes = readFile(good);
    damagedBytes.replace(damagedBytes.rfind("startxref"), 9, "startxrex");
    const std::string damaged = dir.file("damaged.pdf");
    writeFile(damaged, damagedBytes);
    mkdir(dir.file("locked").c_str(), 0500);

    struct Case {
        const char* what;
        std::string input, output, importFile, exportFile;
    };
    const std::vector<Case> cases{
        {"encrypted", enc, dir.file("o1.pdf"), "", ""},
        {"direct encrypt dictionary", encDirect, dir.file("o2.pdf"), "", ""},
        {"damaged", damaged, dir.file("o3.pdf"), "", ""},
        {"missing input", dir.file("nothing.pdf"), dir.file("o4.pdf"), "", ""},
        {"missing import file", good, dir.file("o5.pdf"), dir.file("no-such-import"), ""},
        {"uncreatable export file", good, dir.file("o6.pdf"), "", dir.file("no/dir/export")},
        {"unwritable folder", good, dir.file("locked/o7.pdf"), "", ""},
        {"output folder is a file", good, dir.file("good.pdf/o8.pdf"), "", ""},
    };
    const bool root = geteuid() == 0;
    for (const Case& c : cases) {
        if (root && std::string(c.what) == "unwritable folder") continue; // root writes anyway
        const std::string before = fileExists(c.input) ? readFile(c.input) : "";
        tavrix::TavrixCom engine;
        engine.putText(dispid("importit"), c.importFile);
        engine.putText(dispid("exportit"), c.exportFile);
        EXPECT_EQ(engine.getTavrixFile(c.input, c.output, ""), kFailure) << c.what;
        EXPECT_FALSE(fileExists(c.output)) << c.what;
        if (!before.empty()) {
            EXPECT_EQ(readFile(c.input), before) << c.what;
        }
    }
    // An output that already exists survives a failed run unchanged, with no stray files.
    const std::string existing = dir.file("existing.pdf");
    writeFile(existing, "precious");
    EXPECT_EQ(tavrix::TavrixCom().getTavrixFile(damaged, existing, ""), kFailure);
    EXPECT_EQ(readFile(existing), "precious");
    EXPECT_EQ(tempFilesIn(dir.path()), std::vector<std::string>{});
}

TEST(FileList, FolderAndOutputSwitchesAndBadLines) {
    TempDir dir;
    const std::string a = writeDocument(dir, "a.pdf", simpleDocument(1));
    const std::string b = writeDocument(dir, "b.pdf", simpleDocument(2));
    std::filesystem::create_directory(dir.file("out"));
    const std::string list = dir.file("list.txt");
    writeFile(list, "a.pdf\r\nb.pdf\n");
    // Paths in the list are used as written: relative to the working folder.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    tavrix::TavrixCom engine;
    EXPECT_EQ(engine.getTavrixFile(list, "-f" + dir.file("out"), ""), "");
    expectValid(dir.file("out/a.pdf"), 1);
    expectValid(dir.file("out/b.pdf"), 2);

    // "o": every job writes the same path; the last one stays.
    EXPECT_EQ(engine.getTavrixFile(list, "-o" + dir.file("single.pdf"), ""), "");
    expectValid(dir.file("single.pdf"), 2);

    // An empty line is a job that fails; the list goes on and the last result counts.
    writeFile(list, "a.pdf\n\nb.pdf\n");
    EXPECT_EQ(engine.getTavrixFile(list, "-f" + dir.file("out"), ""), "");
    writeFile(list, "a.pdf\n\n");
    EXPECT_EQ(engine.getTavrixFile(list, "-f" + dir.file("out"), ""), kFailure);
    // An unknown switch gives every job an empty output path.
    writeFile(list, "a.pdf\n");
    EXPECT_EQ(engine.getTavrixFile(list, "-x" + dir.file("out"), ""), kFailure);
    std::filesystem::current_path(cwd);
    // A ".txt" that cannot be opened is taken as a single (non-PDF) input.
    EXPECT_EQ(engine.getTavrixFile(dir.file("missing.txt"), dir.file("x.pdf"), ""), kFailure);
}

TEST(Numbers, ImportExportAndRenameTokens) {
    TempDir dir;
    const std::string in = writeDocument(dir, "report.pdf", simpleDocument(10));
    writeFile(dir.file("import.txt"), "  7xyz");
    tavrix::TavrixCom engine;
    engine.putText(dispid("importit"), dir.file("import.txt"));
    engine.putText(dispid("exportit"), dir.file("export.txt"));
    engine.putLong(dispid("mask"), 3);
    engine.putText(dispid("renameoutput"), "[FILETITLE]-[PAGESTART]-[PAGEEND].pdf");
    const std::string out = dir.file("report-out.pdf");
    EXPECT_EQ(engine.getTavrixFile(in, out, ""), "");
    EXPECT_FALSE(fileExists(out));
    const std::string renamed = dir.file("report-out-007-016.pdf");
    expectValid(renamed, 10);
    EXPECT_TRUE(shows(renamed, 10, "Page 016 / 010"));
    EXPECT_EQ(readFile(dir.file("export.txt")), "17");

    // The export file of one run is the import file of the next; settings stay as set.
    engine.putText(dispid("importit"), dir.file("export.txt"));
    EXPECT_EQ(engine.getTavrixFile(in, out, ""), "");
    EXPECT_TRUE(fileExists(dir.file("report-out-017-026.pdf")));
    EXPECT_EQ(readFile(dir.file("export.txt")), "27");

    // No page stamped: the export holds 1 and an empty mask leaves [PAGEEND] empty.
    tavrix::TavrixCom none;
    none.putLong(dispid("startPage"), 50);
    none.putText(dispid("exportit"), dir.file("none.txt"));
    none.putText(dispid("renameoutput"), "n[PAGEEND]n.pdf");
    EXPECT_EQ(none.getTavrixFile(in, out, ""), "");
    EXPECT_EQ(readFile(dir.file("none.txt")), "1");
    EXPECT_TRUE(fileExists(dir.file("nn.pdf")));

    // A pattern that names the output itself leaves the file in place.
    tavrix::TavrixCom same;
    same.putText(dispid("renameoutput"), "[FILETITLE].pdf");
    EXPECT_EQ(same.getTavrixFile(in, out, ""), "");
    expectValid(out, 10);
}

// Objects copied byte for byte.
// Stream data ending in CR (the byte a careless copy drops as a line end) or spelling "endobj"
// is copied whole. Objects of 16 KiB and more are read from the file straight into the output
// instead of through the mapping: the bytes written must be the same at every size around that
// threshold, for streams, large plain objects and object stream members.
TEST(ByteCopy, ObjectsAreCopiedByteForByte) {
    // Compressed data whose last byte is CR: that byte is the low byte of the data's running
    // sum, which a trailing comment of two bytes from 0x20 to 0xFF sets to every value.
    std::string packed;
    for (int a = 0x20; a <= 0xFF && (packed.empty() || packed.back() != '\r'); ++a) {
        for (int c = 0x20; c <= 0xFF; ++c) {
            packed = deflate(std::string("BT ET\n%") + static_cast<char>(a) + static_cast<char>(c));
            if (packed.back() == '\r') break;
        }
    }
    ASSERT_EQ(packed.back(), '\r');
    std::mt19937 random(16384);
    const auto data = [&](size_t size) {
        std::string bytes(size, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random() & 0xFF);
        bytes.replace(size / 3, 24, "endobj endstream 9 0 obj");
        return bytes;
    };
    // A stream whose object text ("20 0 obj" through the line end after "endobj") is `size`.
    const auto streamOfTextSize = [&](size_t size) {
        for (size_t d = size;; --d) {
            const std::string body = streamBody("", data(d));
            if (body.size() + 17 == size) return body;
        }
    };
    std::string array = "[";
    while (array.size() < 40000)
        array += std::to_string(array.size()) + " (endobj) ";
    array += "]";
    const struct {
        const char* name;
        std::string body;
        bool compressed;
    } cases[] = {
        {"compressed data ending in CR", streamBody("/Filter /FlateDecode", packed), false},
        {"data spelling a whole object",
         streamBody("/Type /EmbeddedFile", "1 0 obj\n<< >>\nendobj\n% the rest must survive\n"),
         false},
        {"stream just under", streamOfTextSize(16383), false},
        {"stream at the threshold", streamOfTextSize(16384), false},
        {"stream just over", streamOfTextSize(16385), false},
        {"large stream", streamBody("/Type /EmbeddedFile", data(300000)), false},
        {"large array", array, false},
        {"large array in an object stream", array, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PdfBuilder b = simpleDocument(1, c.compressed ? XrefKind::Stream : XrefKind::Table);
        b.base().objects[20] = c.body;
        if (c.compressed) b.base().compressed.insert(20);
        b.base().objects[1] = "<< /Type /Catalog /Pages 2 0 R /Extra 20 0 R >>";
        const auto& [dir, in, out] = stamptest::InOut(b.build());
        ASSERT_EQ(tavrix::TavrixCom().getTavrixFile(in, out, ""), "");
        const std::string text =
            "20 0 obj\n" + c.body + (c.compressed ? "\nendobj\r" : "\nendobj\n");
        EXPECT_NE(readFile(out).find(text), std::string::npos);
        expectValid(out, 1);
        EXPECT_TRUE(shows(out, 1, "Page 1 / 1"));
    }
}

// The command-line contract: options in order, integer forms, usage errors, help.
TEST(Cli, UsageErrorsExitTwoWithoutRunning) {
    const auto& [dir, in, out] = stamptest::InOut(simpleDocument(1).build());
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
    const auto& [dir, in, out] = stamptest::InOut(simpleDocument(2).build());
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
    const auto& [dir, good, out] = stamptest::InOut(simpleDocument(1).build());
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

// The output's shape.
namespace {

using namespace stamptest;
using testpdf::PdfBuilder;

// Four pages (3..6 with contents 7..10, font 11): the input has twelve entries.
TEST(OutputFile, NewObjectsXrefAndTrailer) {
    for (const bool withInfo : {false, true}) {
        SCOPED_TRACE(withInfo ? "with /Info" : "without /Info");
        PdfBuilder b = testpdf::simpleDocument(4);
        if (withInfo) {
            b.base().objects[12] = "<< /Producer (a test) >>";
            b.base().trailerExtra = "/Info 12 0 R";
        }
        const int n = withInfo ? 13 : 12;
        const std::string input = b.build();
        const auto& [dir, in, out] = InOut(input);
        ASSERT_EQ(stamp(in, out, {{"startPage", 2}, {"endPage", 3}, {"startNumber", 2}}), "");
        const OutputPdf pdf = readOutput(out);
        ASSERT_TRUE(pdf.wellFormed);

        // The input's header bytes, then the descriptor, the font and the graphics state.
        const size_t header = static_cast<size_t>(b.offsets.at(1));
        EXPECT_EQ(pdf.bytes.substr(0, header), input.substr(0, header));
        const int size = n + 3 + 2 * 2;
        ASSERT_EQ(pdf.entries.size(), static_cast<size_t>(size));
        EXPECT_EQ(pdf.entries[n].offset, static_cast<int64_t>(header));
        EXPECT_EQ(pdf.object(n), std::to_string(n) +
                                     " 0 obj\n<<\n/Type /FontDescriptor\n/FontName /Arial\n"
                                     "/FontBBox [-46 -210 1000 896]\n/Flags 34\n"
                                     "/ItalicAngle 0\n>>\nendobj");
        const std::string fontName = fontResourceName(pdf, n + 1);
        ASSERT_FALSE(fontName.empty());
        EXPECT_EQ(pdf.object(n + 1) + "\n",
                  std::to_string(n + 1) + tavrix::fontObjectText("Arial", fontName, n));
        const std::string widths = "/FirstChar 0\n/LastChar 255\n/Widths [\n750 750 750 750 750 "
                                   "750 750 750 750 750 750 750 750 750 750 750 \n";
        EXPECT_NE(
            pdf.object(n + 1).find("/FontDescriptor " + std::to_string(n) + " 0 R\n" + widths),
            std::string::npos);
        EXPECT_EQ(pdf.object(n + 2),
                  std::to_string(n + 2) + " 0 obj<</Type/ExtGState/ca 1.00>>\n endobj");
        // Then, in object-number order, two streams for each stamped page.
        EXPECT_EQ(contentRefs(pdf.object(4)), (std::vector<int>{n + 3, 8, n + 4}));
        EXPECT_EQ(contentRefs(pdf.object(5)), (std::vector<int>{n + 5, 9, n + 6}));
        EXPECT_EQ(shownText(pdf, n + 6), "Page 3 / 4");
        EXPECT_EQ(pdf.object(n + 3),
                  std::to_string(n + 3) +
                      " 0 obj\n<<\n/Length 2 \n>>\nstream\nq\n\nendstream\nendobj");
        // Unselected pages and every other input object are copied byte for byte.
        for (const int num : {1, 2, 3, 6, 7, 11}) {
            const size_t at = static_cast<size_t>(b.offsets.at(num));
            EXPECT_EQ(pdf.object(num), input.substr(at, input.find("endobj", at) + 6 - at)) << num;
        }
        for (int num = 1; num < size; ++num) {
            EXPECT_TRUE(pdf.inUse(num)) << num;
            EXPECT_TRUE(pdf.object(num).starts_with(std::to_string(num) + " 0 obj")) << num;
        }

        // One subsection of 20-byte lines, and a trailer with nothing but /Size, /Root, /Info.
        const std::string xref = "xref\n0 " + std::to_string(size) + "\r0000000000 65535 f \r";
        EXPECT_EQ(pdf.bytes.compare(static_cast<size_t>(pdf.xrefOffset), xref.size(), xref), 0);
        std::string trailer = "trailer\n<<\n/Size " + std::to_string(size) + "\n/Root 1 0 R\n";
        if (withInfo) trailer += "/Info 12 0 R\n";
        trailer += ">>\nstartxref\n" + std::to_string(pdf.xrefOffset) + "\n%%EOF";
        EXPECT_EQ(pdf.trailer, trailer);
        expectReadable(out, 2, "Page 2 / 4");
        EXPECT_EQ(squeeze(testpdf::pdfText(out, 1)).find("Page"), std::string::npos);
    }
}

// An /Info dictionary written in place in the trailer (or the cross-reference stream's
// dictionary) is kept as it stands, strings and all.
TEST(OutputFile, DirectInfoDictionaryIsKept) {
    const std::string info = "<< /Title (report endobj 2020) /Producer <3C3C> /A << /B [1] >> >>";
    for (const auto kind : {testpdf::XrefKind::Table, testpdf::XrefKind::Stream}) {
        SCOPED_TRACE(kind == testpdf::XrefKind::Table ? "table" : "stream");
        PdfBuilder b = testpdf::simpleDocument(1, kind);
        b.base().trailerExtra = "/Info " + info;
        const auto& [dir, in, out] = InOut(b.build());
        ASSERT_EQ(stamp(in, out), "");
        const OutputPdf pdf = readOutput(out);
        ASSERT_TRUE(pdf.wellFormed);
        EXPECT_NE(pdf.trailer.find("/Root 1 0 R\n/Info " + info + "\n>>"), std::string::npos)
            << pdf.trailer;
        const std::string details = testpdf::runCommand({"pdfinfo", out}).out;
        EXPECT_NE(details.find("report endobj 2020"), std::string::npos) << details;
        expectReadableEverywhere(out, 1, "Page 1 / 1");
    }
}

// Object streams are dropped and listed free; their members become plain objects; the
// cross-reference stream itself is an ordinary object and is copied.
TEST(OutputFile, ObjectStreamsBecomePlainObjects) {
    PdfBuilder b = testpdf::simpleDocument(2, testpdf::XrefKind::Stream, true);
    b.base().objects[8] = "<< /Unused true >>";
    b.base().freed.insert(9); // object stream 10, cross-reference stream 11
    const auto& [dir, in, out] = InOut(b.build());
    ASSERT_EQ(stamp(in, out, {{"startPage", 3}}), ""); // nothing stamped
    const OutputPdf pdf = readOutput(out);
    ASSERT_EQ(pdf.entries.size(), 12u + 3u);
    for (const int free : {9, 10}) {
        EXPECT_FALSE(pdf.inUse(free));
        EXPECT_EQ(pdf.entries[free].offset, 0);
        EXPECT_EQ(pdf.entries[free].gen, 0);
    }
    EXPECT_NE(pdf.object(11).find("/Type /XRef"), std::string::npos);
    const std::string catalog = pdf.object(1);
    EXPECT_TRUE(catalog.starts_with("1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>")) << catalog;
    EXPECT_EQ(pdf.bytes[static_cast<size_t>(pdf.entries[1].offset) + catalog.size()], '\r');
    expectReadable(out, 2, "Hello 2");
}

// Pages are numbered in tree order, whatever their object numbers; the copy pass still meets
// them in object-number order.
TEST(OutputFile, PageTreeWalk) {
    struct Case {
        const char* name;
        std::map<int, std::string> tree; // replaces or adds objects of a three-page document
        const char* shown[3];            // stamp text of pages 3, 4, 5 ("" unstamped)
        bool validTree;                  // the input's tree is well-formed
    };
    const Case cases[] = {
        {"tree order",
         {{2, "<< /Type /Pages /Kids [5 0 R 3 0 R 4 0 R] /Count 3 >>"}},
         {"Page 2 / 3", "Page 3 / 3", "Page 1 / 3"},
         true},
        {"nested nodes",
         {{2, "<< /Type /Pages /Kids [10 0 R 5 0 R] /Count 3 >>"},
          {10, "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R 3 0 R] /Count 2 >>"}},
         {"Page 2 / 3", "Page 1 / 3", "Page 3 / 3"},
         true},
        {"indirect kids",
         {{2, "<< /Type /Pages /Kids 10 0 R /Count 3 >>"}, {10, "[5 0 R 4 0 R 3 0 R]"}},
         {"Page 3 / 3", "Page 2 / 3", "Page 1 / 3"},
         true},
        {"page twice",
         {{2, "<< /Type /Pages /Kids [4 0 R 3 0 R 4 0 R] /Count 3 >>"}},
         {"Page 2 / 3", "Page 1 / 3", ""},
         false},
        {"count too large",
         {{2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 5 >>"}},
         {"Page 1 / 5", "Page 2 / 5", "Page 3 / 5"},
         false},
        {"count too small",
         {{2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 2 >>"}},
         {"Page 1 / 2", "Page 2 / 2", ""},
         false},
        {"no count",
         {{2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] >>"}},
         {"Page 1 / 3", "Page 2 / 3", "Page 3 / 3"},
         false},
        {"node inside itself",
         {{2, "<< /Type /Pages /Kids [3 0 R 2 0 R 4 0 R] /Count 3 >>"}},
         {"Page 1 / 3", "Page 2 / 3", ""},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PdfBuilder b = testpdf::simpleDocument(3);
        for (const auto& [num, body] : c.tree)
            b.base().objects[num] = body;
        const int n = b.base().objects.rbegin()->first + 1;
        const std::string input = b.build();
        const auto& [dir, in, out] = InOut(input);
        ASSERT_EQ(stamp(in, out), "");
        const OutputPdf pdf = readOutput(out);
        ASSERT_TRUE(pdf.wellFormed);
        int stamped = 0, nextStream = n + 3;
        for (int page = 3; page <= 5; ++page) {
            EXPECT_EQ(pdf.copies(page), 1u) << page;
            const std::string expected = c.shown[page - 3];
            if (expected.empty()) {
                const size_t at = static_cast<size_t>(b.offsets.at(page));
                EXPECT_EQ(pdf.object(page), input.substr(at, input.find("endobj", at) + 6 - at));
                continue;
            }
            ++stamped;
            EXPECT_EQ(contentRefs(pdf.object(page)),
                      (std::vector<int>{nextStream, page + 3, nextStream + 1}))
                << page;
            EXPECT_EQ(shownText(pdf, nextStream + 1), expected) << page;
            nextStream += 2;
        }
        EXPECT_EQ(pdf.entries.size(), static_cast<size_t>(n + 3 + 2 * stamped));
        if (c.validTree) {
            for (int k = 1; k <= 3; ++k)
                expectReadable(out, k, "Page " + std::to_string(k) + " / 3");
        }
    }
}

} // namespace
