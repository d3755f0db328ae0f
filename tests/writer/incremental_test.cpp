// Incremental mode: the output is the input's bytes unchanged and one appended update, which the
// three readers (poppler, qpdf, MuPDF) all read as the stamped document.
#include <gtest/gtest.h>

#include <functional>
#include <regex>

#include "support/pdf_builder.hpp"
#include "support/test_files.hpp"
#include "writer/stamp_run.hpp"

using namespace testpdf;
using namespace stamptest;

namespace {

// The empty password opens the encrypted inputs; the others take no notice of it.
constexpr const char* kIncremental = "incremental=1;password=";

// The startxref value at the end of `bytes`.
int64_t startxrefOf(const std::string& bytes) {
    const size_t at = bytes.rfind("startxref");
    return at == std::string::npos ? -1 : std::atoll(bytes.c_str() + at + 9);
}

// What the appended part says, read from its own text.
struct Update {
    std::string bytes;   // everything after the input's bytes
    bool table = false;  // its section is a table (else a stream)
    int64_t prev = -1;   // its /Prev
    std::string trailer; // its trailer or cross-reference stream dictionary
};

Update updateOf(const std::string& input, const std::string& output, size_t headerShift) {
    Update u;
    u.bytes = output.substr(input.size());
    const int64_t xref = startxrefOf(output);
    if (xref < 0) return u;
    const size_t at = static_cast<size_t>(xref) + headerShift;
    u.table = output.compare(at, 4, "xref") == 0;
    const size_t dict = u.table ? output.find("trailer", at) : at;
    const size_t end = output.find(">>", output.find("<<", dict));
    u.trailer = output.substr(dict, end + 2 - dict);
    std::smatch m;
    if (std::regex_search(u.trailer, m, std::regex(R"(/Prev (\d+))"))) u.prev = std::stoll(m[1]);
    return u;
}

} // namespace

// Every kind of input keeps its bytes as a prefix of the output, gains a section of the kind of
// its newest one chained to it, and reads stamped on every page in the three readers.
TEST(IncrementalUpdate, EveryKindOfInputReadsStampedEverywhereAfterItsOwnBytes) {
    TempDir dir;
    const std::string plain = dir.file("plain.pdf");
    writeFile(plain, simpleDocument(3).build());
    struct Case {
        const char* name;
        std::function<std::string()> make; // the input's bytes
        size_t headerShift;
        bool mupdfOpensInput = true; // MuPDF refuses bytes before the header
    };
    const Case cases[] = {
        {"classic table", [] { return simpleDocument(3).build(); }, 0},
        {"stream and object streams",
         [] { return simpleDocument(3, XrefKind::Stream, true).build(); }, 0},
        {"hybrid", [] { return simpleDocument(3, XrefKind::Hybrid, true).build(); }, 0},
        {"an earlier update",
         [] {
             PdfBuilder b = simpleDocument(3, XrefKind::Stream);
             b.addRevision().objects[7] = streamBody("", "BT /F1 24 Tf 72 700 Td (Hello 2) Tj ET");
             b.revisions.back().xref = XrefKind::Table;
             return b.build();
         },
         0},
        {"junk before the header",
         [] {
             PdfBuilder b = simpleDocument(3);
             b.junkBeforeHeader = "garbage line\n";
             return b.build();
         },
         13, false},
        {"ending without a line end",
         [] {
             std::string bytes = simpleDocument(3).build();
             bytes.pop_back();
             return bytes;
         },
         0},
        {"linearized by qpdf",
         [&] { return qpdfRewrite(plain, dir.file("lin.pdf"), {"--linearize"}); }, 0},
        {"object streams by qpdf",
         [&] { return qpdfRewrite(plain, dir.file("os.pdf"), {"--object-streams=generate"}); }, 0},
        // The update's new objects are encrypted with the file's keys, and its trailer keeps
        // /Encrypt and /ID, else no reader could open the file at all.
        {"encrypted, AES-256",
         [&] {
             const std::string path = dir.file("aes.pdf");
             return qpdfEncrypt(plain, path, {"", "owner", "256"}).empty() ? readFile(path) : "";
         },
         0},
        {"encrypted, RC4 128 with object streams",
         [&] {
             const std::string path = dir.file("rc4.pdf");
             return qpdfEncrypt(plain, path, {"", "owner", "128", "--use-aes=n"},
                                {"--object-streams=generate"})
                            .empty()
                        ? readFile(path)
                        : "";
         },
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string input = c.make();
        ASSERT_FALSE(input.empty());
        const std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
        writeFile(in, input);
        tavrix::TavrixCom com;
        ASSERT_EQ(com.getTavrixFile(in, out, kIncremental), "");
        const std::string output = readFile(out);
        ASSERT_GT(output.size(), input.size());
        EXPECT_EQ(output.compare(0, input.size(), input), 0) << "the input's bytes changed";

        const Update update = updateOf(input, output, c.headerShift);
        const size_t newest = static_cast<size_t>(startxrefOf(input)) + c.headerShift;
        EXPECT_EQ(update.table, input.compare(newest, 4, "xref") == 0) << update.trailer;
        EXPECT_EQ(update.prev, startxrefOf(input)) << update.trailer;
        const std::string tail = input.substr(newest);
        for (const char* key :
             {R"(/Root \d+ \d+ R)", R"(/Encrypt \d+ \d+ R)", R"(/ID ?\[[^\]]*\])"}) {
            std::smatch kept;
            if (!std::regex_search(tail, kept, std::regex(key))) continue;
            EXPECT_NE(update.trailer.find(kept.str()), std::string::npos) << update.trailer;
        }
        // The run's three shared objects, then per page two streams and the page: a few
        // hundred bytes a page beside the font.
        EXPECT_LT(update.bytes.size(), 2500u + 3 * 700u) << update.bytes;

        for (int p = 1; p <= 3; ++p) {
            const std::string stamp = "Page " + std::to_string(p) + " / 3";
            if (c.mupdfOpensInput)
                expectReadableEverywhere(out, p, stamp);
            else
                expectReadable(out, p, stamp);
            EXPECT_TRUE(shows(out, p, "Hello " + std::to_string(p)));
        }
        // qpdf reads the same pages, and their contents draw the stamp.
        const CommandResult shown = runCommand({"qpdf", "--show-npages", out});
        EXPECT_EQ(shown.out, "3\n");
    }
}

// The trailer carries /Info and /ID over; a page read from an object stream is written as a
// plain object, and pages that share one resource dictionary get it rewritten once.
TEST(IncrementalUpdate, SharedObjectsOnceAndTheTrailerKeysKept) {
    PdfBuilder b = simpleDocument(4, XrefKind::Stream, true);
    Revision& r = b.base();
    for (int page = 3; page < 7; ++page) {
        std::string& text = r.objects[page];
        const size_t at = text.find("/Resources");
        text = text.substr(0, at) + "/Resources 20 0 R >>";
    }
    r.objects[20] = "<< /Font << /F1 11 0 R >> >>";
    r.objects[21] = "<< /Title (A title) >>";
    r.trailerExtra = "/Info 21 0 R /ID [<00112233445566778899aabbccddeeff> <ffeeddcc>]";
    const std::string input = b.build();
    const auto& [dir, in, out] = InOut(input);
    ASSERT_EQ(tavrix::TavrixCom().getTavrixFile(in, out, kIncremental), "");
    const std::string output = readFile(out);
    const Update update = updateOf(input, output, 0);
    EXPECT_EQ(occurrences(update.bytes, "\n20 0 obj"), 1u) << update.bytes;
    for (int page = 3; page < 7; ++page)
        EXPECT_EQ(occurrences(update.bytes, "\n" + std::to_string(page) + " 0 obj"), 1u);
    // Nothing but pages and the shared dictionary comes from the input.
    EXPECT_EQ(occurrences(update.bytes, "\n1 0 obj"), 0u);
    EXPECT_EQ(occurrences(update.bytes, "/ObjStm"), 0u);
    EXPECT_NE(update.trailer.find("/Info 21 0 R"), std::string::npos) << update.trailer;
    EXPECT_NE(update.trailer.find("/ID [<00112233445566778899aabbccddeeff> <ffeeddcc>]"),
              std::string::npos)
        << update.trailer;
    for (int p = 1; p <= 4; ++p)
        expectReadableEverywhere(out, p, "Page " + std::to_string(p) + " / 4");
}

// A signed file keeps what its signature covers: the signed revision is a prefix of the output,
// and poppler still finds the signature valid for it.
TEST(IncrementalUpdate, SignedFileKeepsItsSignatureValid) {
    if (!toolAvailable("pdfsig") || !toolAvailable("certutil"))
        GTEST_SKIP() << "pdfsig or certutil (libnss3-tools) is not installed";
    TempDir dir;
    const std::string nss = "sql:" + dir.file("nss");
    std::filesystem::create_directory(dir.file("nss"));
    const std::string noise = dir.file("noise");
    writeFile(noise, std::string(64, 'n') + "tavrix test noise");
    ASSERT_EQ(runCommand({"certutil", "-N", "-d", nss, "--empty-password"}).exitCode, 0);
    const CommandResult cert =
        runCommand({"certutil",    "-S",         "-n",
                    "tavrix-test", "-s",         "CN=Tavrix Test",
                    "-x",          "-t",         "CT,C,C",
                    "-k",          "rsa",        "-g",
                    "2048",        "-v",         "12",
                    "-z",          noise,        "-d",
                    nss,           "--keyUsage", "digitalSignature,nonRepudiation"});
    ASSERT_EQ(cert.exitCode, 0) << cert.err;
    const std::string in = dir.file("in.pdf"), signedPdf = dir.file("signed.pdf");
    writeFile(in, simpleDocument(2).build());
    const CommandResult sign = runCommand(
        {"pdfsig", "-nssdir", nss, "-add-signature", "-nick", "tavrix-test", in, signedPdf});
    ASSERT_EQ(sign.exitCode, 0) << sign.err;

    const std::string out = dir.file("stamped.pdf");
    ASSERT_EQ(tavrix::TavrixCom().getTavrixFile(signedPdf, out, kIncremental), "");
    const std::string signedBytes = readFile(signedPdf);
    EXPECT_EQ(readFile(out).compare(0, signedBytes.size(), signedBytes), 0);
    const CommandResult verdict = runCommand({"pdfsig", "-nssdir", nss, "-nocert", out});
    EXPECT_NE(verdict.out.find("Signature is Valid"), std::string::npos) << verdict.out;
    EXPECT_NE(verdict.out.find("Not total document signed"), std::string::npos) << verdict.out;
    expectReadableEverywhere(out, 2, "Page 2 / 2");
}

// Through the command line: a list on two threads, a counter and a renamed output, each file
// updated in place of a rewrite.
TEST(IncrementalUpdate, ListsJobsCountersAndRenamesTakeTheOption) {
    TempDir dir;
    std::string list;
    std::vector<std::string> inputs;
    for (int k = 0; k < 3; ++k) {
        inputs.push_back(dir.file("in" + std::to_string(k) + ".pdf"));
        writeFile(inputs.back(), simpleDocument(2 + k, XrefKind::Stream, true).build());
        list += inputs.back() + "\n";
    }
    writeFile(dir.file("files.txt"), list);
    writeFile(dir.file("counter"), "100");
    std::filesystem::create_directory(dir.file("out"));
    // Every file is written to one path and renamed from there by its first number.
    const CommandResult r = runTavrix(
        {"--incremental", "--jobs", "2", "--onePageNo", "1", "--sep", "", "--prefix", "B-",
         "--importit", dir.file("counter"), "--exportit", dir.file("counter"), "--renameoutput",
         "[FILETITLE]-[PAGESTART].pdf", dir.file("files.txt"), "-o" + dir.file("out/x.pdf")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(dir.file("counter")), "109");
    const int starts[] = {100, 102, 105};
    for (int k = 0; k < 3; ++k) {
        const std::string out = dir.file("out/x-" + std::to_string(starts[k]) + ".pdf");
        const std::string input = readFile(inputs[k]), output = readFile(out);
        ASSERT_GT(output.size(), input.size()) << out;
        EXPECT_EQ(output.compare(0, input.size(), input), 0);
        expectReadable(out, 1, "B-" + std::to_string(starts[k]));
    }
}
