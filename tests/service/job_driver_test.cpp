// Whole runs through TavrixCom and the command-line client: progress lines, the output's
// cross-reference section and trailer, failure paths, file lists, import/export and renaming.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "engine/service/tavrix_com.hpp"
#include "support/pdf_builder.hpp"
#include "support/test_files.hpp"
#include "tavrix/members.hpp"

using namespace testpdf;

namespace {

constexpr const char* kFailure = "Stamp file issue\r\n";

int32_t dispid(const char* name) {
    return tavrix::findProperty(name)->dispid;
}

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
        EXPECT_NE(pdfText(out, k).find("Page " + std::to_string(k) + " / 12"), std::string::npos);
}

TEST(Run, UnstampedCopyKeepsEveryObjectAndWritesOneFreshTable) {
    TempDir dir;
    PdfBuilder b = simpleDocument(2);
    b.base().trailerExtra = "/Info 8 0 R";
    b.base().objects[8] = "<< /Title (T) >>";
    const std::string in = writeDocument(dir, "in.pdf", b);
    const std::string out = dir.file("out.pdf");
    tavrix::TavrixCom engine;
    engine.putLong(dispid("startPage"), 100000);
    ASSERT_EQ(engine.getTavrixFile(in, out, ""), "");
    const std::string input = readFile(in), output = readFile(out);

    // The header bytes, then the run's three objects numbered from the input's size (9).
    EXPECT_EQ(output.substr(0, 15), input.substr(0, 15));
    EXPECT_EQ(output.compare(15, 9, "9 0 obj\n<"), 0);
    // Each input object is copied byte for byte.
    for (int num : {1, 2, 3, 5, 7, 8}) {
        const std::string head = std::to_string(num) + " 0 obj\n";
        const size_t at = input.find("\n" + head) + 1;
        const std::string text = input.substr(at, input.find("endobj", at) + 7 - at);
        EXPECT_NE(output.find(text), std::string::npos) << num;
    }
    // One subsection covering 0..11, 20-byte entries ending in CR, and a trailer of its own.
    const size_t xref = output.rfind("xref\n0 12\r");
    ASSERT_NE(xref, std::string::npos);
    EXPECT_EQ(output.compare(xref + 10, 20, "0000000000 65535 f \r"), 0);
    const size_t trailer = xref + 10 + 12 * 20;
    EXPECT_EQ(output.substr(trailer), "trailer\n<<\n/Size 12\n/Root 1 0 R\n/Info 8 0 R\n>>\n"
                                      "startxref\n" +
                                          std::to_string(xref) + "\n%%EOF");
    for (size_t i = 1; i < 12; ++i) {
        const std::string line = output.substr(xref + 10 + i * 20, 20);
        const long offset = std::stol(line.substr(0, 10));
        EXPECT_EQ(output.compare(static_cast<size_t>(offset), std::to_string(i).size() + 4,
                                 std::to_string(i) + " 0 o"),
                  0)
            << "entry " << i;
    }
    expectValid(out, 2);
    EXPECT_EQ(pdfText(out), pdfText(in));
}

TEST(Run, ObjectStreamsAreDissolvedAndXrefStreamsReadWithPredictors) {
    TempDir dir;
    PdfBuilder b = simpleDocument(3, XrefKind::Stream, true);
    b.base().predictor = true;
    const std::string in = writeDocument(dir, "in.pdf", b);
    const std::string out = dir.file("out.pdf");
    ASSERT_EQ(tavrix::TavrixCom().getTavrixFile(in, out, ""), "");
    const std::string output = readFile(out);
    EXPECT_EQ(output.find("/ObjStm"), std::string::npos);
    EXPECT_NE(output.find("1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\r"),
              std::string::npos);
    expectValid(out, 3);
    EXPECT_NE(pdfText(out, 3).find("Page 3 / 3"), std::string::npos);
}

TEST(Run, FilesRewrittenByQpdfStampCleanly) {
    if (!toolAvailable("qpdf")) GTEST_SKIP();
    TempDir dir;
    const std::string in = writeDocument(dir, "in.pdf", simpleDocument(7));
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--object-streams=generate"},
          {"--linearize"},
          {"--object-streams=generate", "--linearize"},
          {"--qdf"}}) {
        const std::string rewritten = dir.file("rewritten.pdf");
        std::vector<std::string> argv{"qpdf"};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.insert(argv.end(), {in, rewritten});
        ASSERT_EQ(runCommand(argv).exitCode, 0);
        const std::string out = dir.file("out.pdf");
        ASSERT_EQ(tavrix::TavrixCom().getTavrixFile(rewritten, out, ""), "") << options[0];
        expectValid(out, 7);
        for (int k = 1; k <= 7; ++k)
            EXPECT_NE(pdfText(out, k).find("Page " + std::to_string(k) + " / 7"), std::string::npos)
                << options[0] << " page " << k;
    }
}

TEST(Run, HybridFilesFindObjectsListedOnlyInTheCompanionStream) {
    TempDir dir;
    const std::string in = writeDocument(dir, "in.pdf", simpleDocument(3, XrefKind::Hybrid, true));
    const std::string out = dir.file("out.pdf");
    ASSERT_EQ(tavrix::TavrixCom().getTavrixFile(in, out, ""), "");
    expectValid(out, 3);
    EXPECT_NE(pdfText(out, 2).find("Page 2 / 3"), std::string::npos);
}

TEST(Run, IncrementalUpdateWritesOnlyTheNewestVersion) {
    TempDir dir;
    PdfBuilder b = simpleDocument(2);
    b.addRevision().objects[5] = streamBody("", "BT /F1 24 Tf 72 700 Td (Revised) Tj ET");
    const std::string in = writeDocument(dir, "in.pdf", b);
    const std::string out = dir.file("out.pdf");
    ASSERT_EQ(tavrix::TavrixCom().getTavrixFile(in, out, ""), "");
    expectValid(out, 2);
    EXPECT_NE(pdfText(out, 1).find("Revised"), std::string::npos);
    EXPECT_EQ(pdfText(out, 1).find("Hello 1"), std::string::npos);
}

TEST(Run, JunkBeforeTheHeaderAndTinyFilesAreAccepted) {
    TempDir dir;
    PdfBuilder b = simpleDocument(1);
    b.junkBeforeHeader = "MIME header junk\r\n\r\n";
    const std::string in = writeDocument(dir, "junk.pdf", b);
    ASSERT_LT(readFile(in).size(), 1023u);
    const std::string out = dir.file("out.pdf");
    ASSERT_EQ(tavrix::TavrixCom().getTavrixFile(in, out, ""), "");
    EXPECT_EQ(readFile(out).substr(0, 5), "%PDF-");
    expectValid(out, 1);
    EXPECT_NE(pdfText(out).find("Page 1 / 1"), std::string::npos);
}

TEST(Run, OutputNamingTheInputReplacesItOnlyWithTheFinishedResult) {
    TempDir dir;
    const std::string in = writeDocument(dir, "same.pdf", simpleDocument(2));
    ASSERT_EQ(tavrix::TavrixCom().getTavrixFile(in, in, ""), "");
    expectValid(in, 2);
    EXPECT_NE(pdfText(in, 2).find("Page 2 / 2"), std::string::npos);
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
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().rfind(".tavrix-", 0), std::string::npos);
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
    EXPECT_NE(pdfText(renamed, 10).find("Page 016 / 010"), std::string::npos);
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

TEST(Threads, TwoInstancesStampAtTheSameTime) {
    TempDir dir;
    const std::string in = writeDocument(dir, "in.pdf", simpleDocument(30));
    std::string results[2];
    std::thread workers[2];
    for (int t = 0; t < 2; ++t) {
        workers[t] = std::thread([&, t] {
            tavrix::TavrixCom engine;
            engine.putText(dispid("prefix"), t == 0 ? "Left " : "Right ");
            results[t] = engine.getTavrixFile(in, dir.file("out" + std::to_string(t) + ".pdf"), "");
        });
    }
    for (auto& w : workers)
        w.join();
    for (int t = 0; t < 2; ++t) {
        EXPECT_EQ(results[t], "");
        const std::string out = dir.file("out" + std::to_string(t) + ".pdf");
        expectValid(out, 30);
        EXPECT_NE(pdfText(out, 30).find(t == 0 ? "Left 30 / 30" : "Right 30 / 30"),
                  std::string::npos);
    }
}
