// Encrypted inputs, written by qpdf in every revision of the password handler: stamped with the
// user or the owner password into an output that keeps the input's encryption, keys and
// permissions, and read back by qpdf, poppler and MuPDF with the same password. Strings that
// move to another object (members of object streams, resources copied from a parent node) must
// read back as they were.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "engine/pdf/pdf_exception.hpp"
#include "engine/service/ansi_text.hpp"
#include "engine/service/stamp_job.hpp"
#include "pdf/reader_fixtures.hpp"
#include "support/pdf_builder.hpp"
#include "support/test_files.hpp"
#include "writer/stamp_run.hpp"

using namespace testpdf;

namespace {

constexpr const char* kUser = "user pw";
constexpr const char* kOwner = "owner pw";

// Three pages; the first has an annotation, the third inherits its resources (with a string)
// from the page tree, and /Info holds a title that spells a keyword.
PdfBuilder documentWithStrings() {
    PdfBuilder b = simpleDocument(3);
    Revision& r = b.base();
    r.objects[2] = "<< /Type /Pages /Kids [ 3 0 R 4 0 R 5 0 R ] /Count 3 /Resources << /Font << "
                   "/F1 9 0 R >> /Properties << /P0 << /Name (Layer one) >> >> >> >>";
    r.objects[5] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 8 0 R >>";
    r.objects[3].insert(r.objects[3].size() - 2, " /Annots [ 11 0 R ]");
    r.objects[10] = "<< /Title (Quarterly \\(draft\\) endobj) /Producer (hand) >>";
    r.objects[11] = "<< /Type /Annot /Subtype /Text /Rect [ 10 10 40 40 ] /T (Reviewer) "
                    "/Contents (Looks good) >>";
    r.trailerExtra = "/Info 10 0 R";
    return b;
}

using Outcome = stamptest::JobOutcome;
using stamptest::occurrences;

Outcome stamp(const std::string& in, const std::string& out, const std::string& params,
              const std::string& prefix = "Page ") {
    tavrix::StampJob job = stamptest::jobFor(in, out);
    job.options = tavrix::parseCallOptions(params);
    job.settings.prefix = tavrix::utf8ToWindows1252(prefix);
    job.settings.prefixUtf8 = prefix;
    return stamptest::runJob(job);
}

// Every page k shows "Hello k" and its stamp to poppler and MuPDF, opened with `password`.
void expectReadable(const std::string& path, const std::string& password,
                    const std::string& prefix = "Page ") {
    std::string report;
    EXPECT_TRUE(qpdfCheck(path, false, &report, password)) << report;
    for (int k = 1; k <= 3; ++k) {
        EXPECT_TRUE(stamptest::shows(path, k, "Hello " + std::to_string(k), password));
        EXPECT_TRUE(stamptest::shows(path, k, prefix + std::to_string(k) + " / 3", password));
    }
    std::string errors;
    EXPECT_NE(mupdfText(path, 1, &errors, password).find(prefix + "1 / 3"), std::string::npos)
        << errors;
}

// The output decrypted by qpdf, one object after another, strings written as text.
std::string decrypted(const std::string& path, const std::string& password) {
    TempDir dir;
    const std::string plain = dir.file("plain.pdf");
    runCommand({"qpdf", "--password=" + password, "--decrypt", "--qdf", "--object-streams=disable",
                path, plain});
    return readFile(plain);
}

} // namespace

TEST(EncryptedOutput, EachRevisionKeepsItsEncryptionAndReadsBackWithEitherPassword) {
    if (!toolAvailable("qpdf") || !toolAvailable("mutool")) GTEST_SKIP() << "qpdf or mutool";
    struct Case {
        const char* name;
        std::vector<std::string> keys; // qpdf --encrypt after the two passwords
    };
    const Case cases[] = {
        {"RC4 40 bits, revision 2", {"40"}},
        {"RC4 128 bits, revision 3", {"128", "--use-aes=n"}},
        {"RC4 128 bits in a crypt filter, revision 4", {"128", "--use-aes=n", "--force-V4"}},
        {"AES-128, revision 4", {"128", "--use-aes=y"}},
        {"AES-128, metadata in clear", {"128", "--use-aes=y", "--cleartext-metadata"}},
        {"AES-256, revision 5", {"256", "--force-R5"}},
        {"AES-256, revision 6", {"256"}},
    };
    TempDir dir;
    const std::string plain = dir.file("plain.pdf"), in = dir.file("in.pdf");
    const std::string out = dir.file("out.pdf");
    writeFile(plain, documentWithStrings().build());
    int run = 0;
    for (const Case& c : cases) {
        for (const bool objectStreams : {false, true}) {
            // Both passwords open each revision; they take turns.
            const std::string password = run++ % 2 ? kOwner : kUser;
            SCOPED_TRACE(std::string(c.name) + (objectStreams ? ", object streams" : "") +
                         ", password " + password);
            std::vector<std::string> encrypt{kUser, kOwner};
            encrypt.insert(encrypt.end(), c.keys.begin(), c.keys.end());
            const std::string made = qpdfEncrypt(
                plain, in, encrypt,
                {objectStreams ? "--object-streams=generate" : "--object-streams=disable"});
            ASSERT_EQ(made, "");
            std::filesystem::remove(out);
            const Outcome r = stamp(in, out, "password=" + password);
            ASSERT_TRUE(r.ok) << r.reason;
            // Same revision, method, key length and permissions as the input.
            EXPECT_EQ(qpdfEncryption(out, kOwner), qpdfEncryption(in, kOwner));
            expectReadable(out, kUser);
            const std::string dump = decrypted(out, kUser);
            for (const char* text : {"(Reviewer)", "(Looks good)", "(hand)"})
                EXPECT_EQ(occurrences(dump, text), 1u) << text;
            // The parent's resources, and the copy the third page now holds.
            EXPECT_EQ(occurrences(dump, "(Layer one)"), 2u);
            const CommandResult info = runCommand({"pdfinfo", "-upw", kUser, out});
            EXPECT_NE(info.out.find("Title:           Quarterly (draft) endobj\n"),
                      std::string::npos)
                << info.out << info.err;
        }
    }
}

TEST(EncryptedOutput, AStampInAnyLanguageEmbedsItsFontEncryptedToo) {
    if (!toolAvailable("qpdf")) GTEST_SKIP() << "qpdf is not installed";
    TempDir dir;
    const std::string plain = dir.file("plain.pdf"), in = dir.file("in.pdf");
    const std::string out = dir.file("out.pdf");
    writeFile(plain, documentWithStrings().build());
    ASSERT_EQ(
        qpdfEncrypt(plain, in, {"", kOwner, "128", "--use-aes=y"}, {"--object-streams=generate"}),
        "");
    const std::string prefix = "Страница ";
    const Outcome r = stamp(in, out, "password=", prefix);
    ASSERT_TRUE(r.ok) << r.reason;
    expectReadable(out, "", prefix);
    // The font file is there for every reader, decrypted.
    const CommandResult fonts = runCommand({"pdffonts", out});
    // (TrueType or CFF, whichever face the machine's fonts offer.)
    EXPECT_NE(fonts.out.find("Identity-H       yes yes yes"), std::string::npos) << fonts.out;
}

// Passwords of the older revisions are single bytes: qpdf writes "café" in Latin-1, and the
// same word typed as UTF-8 opens the file.
TEST(EncryptedOutput, ANonAsciiPasswordOpensAFileThatHoldsItInLatin1) {
    if (!toolAvailable("qpdf") || !toolAvailable("mutool")) GTEST_SKIP() << "qpdf or mutool";
    const std::string cafe = "caf\xC3\xA9";
    TempDir dir;
    const std::string plain = dir.file("plain.pdf"), in = dir.file("in.pdf");
    const std::string out = dir.file("out.pdf");
    writeFile(plain, simpleDocument(3).build());
    ASSERT_EQ(qpdfEncrypt(plain, in, {cafe, kOwner, "128", "--use-aes=n"}), "");
    const Outcome r = stamp(in, out, "password=" + cafe);
    ASSERT_TRUE(r.ok) << r.reason;
    EXPECT_NE(mupdfText(out, 2, nullptr, kOwner).find("Page 2 / 3"), std::string::npos);
}

TEST(EncryptedOutput, ChangesNeedTheOwnerPasswordWhereThePermissionsSaySo) {
    if (!toolAvailable("qpdf")) GTEST_SKIP() << "qpdf is not installed";
    TempDir dir;
    const std::string plain = dir.file("plain.pdf"), in = dir.file("in.pdf");
    const std::string out = dir.file("out.pdf");
    writeFile(plain, simpleDocument(3).build());
    for (const std::vector<std::string>& keys :
         {std::vector<std::string>{"40", "--modify=n"}, {"256", "--modify=none"}}) {
        SCOPED_TRACE(keys[0]);
        std::vector<std::string> encrypt{"", kOwner};
        encrypt.insert(encrypt.end(), keys.begin(), keys.end());
        ASSERT_EQ(qpdfEncrypt(plain, in, encrypt), "");
        std::filesystem::remove(out);

        struct Try {
            const char* params;
            tavrix::FailureKind kind;
            const char* says;
        };
        const Try refused[] = {
            {"", tavrix::FailureKind::PasswordNeeded,
             " is encrypted (give its password; an empty one opens most files)"},
            {"password=wrong", tavrix::FailureKind::PasswordNeeded,
             ": the password does not open it (give its user or owner password)"},
            {"password=", tavrix::FailureKind::OwnerPasswordNeeded,
             " does not allow changes without its owner password"},
        };
        for (const Try& t : refused) {
            const Outcome r = stamp(in, out, t.params);
            EXPECT_FALSE(r.ok) << t.params;
            EXPECT_EQ(r.kind, t.kind) << t.params;
            EXPECT_EQ(r.reason, "'" + in + "'" + t.says) << t.params;
            EXPECT_FALSE(fileExists(out));
        }
        const Outcome r = stamp(in, out, std::string("password=") + kOwner);
        ASSERT_TRUE(r.ok) << r.reason;
        EXPECT_EQ(qpdfEncryption(out, kOwner), qpdfEncryption(in, kOwner));
        EXPECT_NE(qpdfEncryption(out, "").find("modify other: not allowed"), std::string::npos);
        EXPECT_TRUE(stamptest::shows(out, 2, "Page 2 / 3"));
    }
}

TEST(EncryptedOutput, IdentityCryptFiltersLeaveStringsAndStreamsAsTheyAre) {
    if (!toolAvailable("qpdf")) GTEST_SKIP() << "qpdf is not installed";
    TempDir dir;
    const std::string plain = dir.file("plain.pdf"), made = dir.file("made.pdf");
    const std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
    // qpdf makes the keys of an AES file with the empty user password; the same /O, /U, /P and
    // /ID over filters that are all Identity make a file whose data is not encrypted at all.
    writeFile(plain, documentWithStrings().build());
    ASSERT_EQ(qpdfEncrypt(plain, made, {"", kOwner, "128", "--use-aes=y"}), "");
    const std::string bytes = readFile(made);
    std::smatch o, u, id;
    ASSERT_TRUE(std::regex_search(bytes, o, std::regex("/O <([0-9a-f]+)>")));
    ASSERT_TRUE(std::regex_search(bytes, u, std::regex("/U <([0-9a-f]+)>")));
    ASSERT_TRUE(std::regex_search(bytes, id, std::regex("/ID \\[ ?<([0-9a-f]+)>")));
    PdfBuilder b = documentWithStrings();
    b.base().objects[12] = "<< /Filter /Standard /V 4 /R 4 /Length 128 /P -4 /O <" + o[1].str() +
                           "> /U <" + u[1].str() +
                           "> /CF << /StdCF << /CFM /AESV2 /Length 16 >> >> /StmF /Identity "
                           "/StrF /Identity >>";
    b.base().trailerExtra += " /Encrypt 12 0 R /ID [ <" + id[1].str() + "> <" + id[1].str() + "> ]";
    writeFile(in, b.build());
    ASSERT_TRUE(qpdfCheck(in));
    const Outcome r = stamp(in, out, "password=");
    ASSERT_TRUE(r.ok) << r.reason;
    expectReadable(out, "");
    // Nothing of the stamp is encrypted: its text stands in the file as written.
    EXPECT_NE(readFile(out).find("(Page 2 / 3) Tj"), std::string::npos);
    EXPECT_NE(readFile(out).find("/Encrypt 12 0 R"), std::string::npos);
}

TEST(EncryptedOutput, HostileEncryptionDictionariesAreRefusedCleanly) {
    struct Case {
        std::string dict;
        const char* says;
    };
    const std::string pad32 = "<" + std::string(64, 'A') + ">";
    const std::string keys = "/O " + pad32 + " /U " + pad32 + " /P -4";
    const Case cases[] = {
        {"<< /Filter /Adobe.PubSec /V 4 /R 4 >>", "does not know (its security handler"},
        {"<< /Filter /Standard /V 2 /R 99 " + keys + " >>", "(revision 99, version 2)"},
        {"<< /Filter /Standard /V 3 /R 3 " + keys + " >>", "(revision 3, version 3)"},
        {"<< /Filter /Standard /V 2 /R 3 /Length 99999 " + keys + " >>", "(/Length 99999)"},
        {"<< /Filter /Standard /V 2 /R 3 /Length -8 " + keys + " >>", "(/Length -8)"},
        {"<< /Filter /Standard /V 2 /R 3 /Length 44 " + keys + " >>", "(/Length 44)"},
        {"<< /Filter /Standard /V 1 /R 2 /O <00> /U " + pad32 + " /P -4 >>",
         "(/O is too short: 1 of 32 bytes)"},
        {"<< /Filter /Standard /V 2 /R 3 /O " + pad32 + " /U <0102> /P -4 >>",
         "(/U is too short: 2 of 16 bytes)"},
        {"<< /Filter /Standard /V 1 /R 2 /O " + pad32 + " /U " + pad32 + " >>", "(/P is missing)"},
        {"<< /Filter /Standard /V 5 /R 6 /O " + pad32 + " /U " + pad32 + " /P -4 >>",
         "(/O is too short: 32 of 48 bytes)"},
        {"<< /Filter /Standard /V 4 /R 4 " + keys + " /StmF /StdCF >>",
         "(/StmF names the crypt filter /StdCF, which /CF lacks)"},
        {"<< /Filter /Standard /V 4 /R 4 " + keys +
             " /CF << /StdCF << /CFM /Rot13 >> >> /StmF /StdCF >>",
         "does not know (crypt filter method /Rot13)"},
        {"<< /Filter /Standard /V 4 /R 4 /P 99999999999 /O " + pad32 + " /U " + pad32 + " >>",
         "(/P 99999999999 is out of range)"},
        {"42", "(/Encrypt is no dictionary)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dict);
        readertest::FileText f;
        f.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
        f.object(2, "<< /Type /Pages /Kids [] /Count 0 >>");
        f.object(3, c.dict);
        f.startxref(f.table(4, "/Root 1 0 R /Encrypt 3 0 R /ID [<00><00>]"));
        try {
            tavrix::PdfDocument doc;
            TempDir dir;
            writeFile(dir.file("in.pdf"), f.bytes());
            doc.openDocument(dir.file("in.pdf"), tavrix::OpenOptions{std::string(), false});
            ADD_FAILURE() << "opened";
        } catch (const tavrix::CPdfException& e) {
            EXPECT_NE(e.reason().find(c.says), std::string::npos) << e.reason();
            EXPECT_EQ(e.kind(), tavrix::FailureKind::Other);
        }
    }
}
