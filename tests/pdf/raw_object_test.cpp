// Object streams and raw object access: members parsed and copied out as text, and the text of
// directly stored objects, which ends where a reader of tokens finds its end.
#include <gtest/gtest.h>

#include "engine/pdf/input_file.hpp"
#include "engine/pdf/raw_object.hpp"
#include "pdf/reader_fixtures.hpp"
#include "support/pdf_builder.hpp"
#include "writer/stamp_run.hpp"

using namespace tavrix;
using readertest::be;
using readertest::FileText;
using readertest::openBytes;

namespace {

struct Compressed {
    int streamNum;
    int index;
};

// Catalog 1 stored directly, object stream 10 with the given content, and a cross-reference
// stream (object `size`) listing the compressed objects.
std::string objectStreamFile(const std::string& header, const std::string& data, int n,
                             const std::map<int, Compressed>& compressed,
                             const std::string& extraKeys = "") {
    FileText f;
    f.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    f.object(10, testpdf::flateBody("/Type /ObjStm /N " + std::to_string(n) + " /First " +
                                        std::to_string(header.size()) + " " + extraKeys,
                                    header + data));
    int size = 11;
    for (const auto& [num, c] : compressed)
        size = std::max(size, num + 1);
    const int64_t at = f.pos();
    std::string rows;
    for (int num = 0; num <= size; ++num) {
        if (compressed.count(num))
            rows +=
                be(2, 1) + be(compressed.at(num).streamNum, 4) + be(compressed.at(num).index, 2);
        else if (num == size)
            rows += be(1, 1) + be(at, 4) + be(0, 2);
        else if (f.offsets.count(num))
            rows += be(1, 1) + be(f.offsets[num], 4) + be(0, 2);
        else
            rows += be(0, 1) + be(0, 4) + be(0, 2);
    }
    f.object(size,
             testpdf::streamBody(
                 "/Type /XRef /W [1 4 2] /Root 1 0 R /Size " + std::to_string(size + 1), rows));
    f.startxref(at);
    return f.bytes();
}

std::string raw(PdfDocument& doc, int num) {
    return std::string(readRawObject(doc.xref(), num).bytes());
}

} // namespace

TEST(ObjectStream, MembersParseInsideTheirOwnWindowsAndCopyOutAsText) {
    // Members with nothing between them: an array, a name and a number, the last one running to
    // the end of the data.
    auto doc = openBytes(objectStreamFile("5 0 6 3 7 6 ", "[1]/Nm12", 3,
                                          {{5, {10, 0}}, {6, {10, 1}}, {7, {10, 2}}}));
    XrefTable& xref = doc->xref();
    EXPECT_EQ(xref.fetchObject(5, 0).getArray()->size(), 1u);
    EXPECT_TRUE(xref.fetchObject(6, 0).isName("Nm"));
    EXPECT_EQ(xref.fetchObject(7, 0).getInt(), 12);
    EXPECT_EQ(*xref.compressedObjectBytes(6, 0), "/Nm");
    EXPECT_FALSE(xref.compressedObjectBytes(6, 1).has_value()); // generation other than 0
    // A member ending in a regular character gets a line feed so that it stays one token.
    EXPECT_EQ(raw(*doc, 5), "5 0 obj\n[1]endobj\r");
    EXPECT_EQ(raw(*doc, 6), "6 0 obj\n/Nm\nendobj\r");
    EXPECT_EQ(raw(*doc, 7), "7 0 obj\n12\nendobj\r");
}

TEST(ObjectStream, FirstMemberOffsetCountsFromFirst) {
    auto doc = openBytes(objectStreamFile("5 3 ", "99 << /A 1 >>", 1, {{5, {10, 0}}}));
    const PdfObject obj = doc->xref().fetchObject(5, 0);
    ASSERT_TRUE(obj.isDict());
    EXPECT_EQ(obj.getDict()->lookup("A").getInt(), 1);
    EXPECT_EQ(*doc->xref().compressedObjectBytes(5, 0), "<< /A 1 >>");
}

TEST(ObjectStream, MembersThatCannotBeHadAreNullAndEmpty) {
    const struct {
        const char* what;
        std::string bytes;
        int num;
    } cases[] = {
        {"number differs from the header", objectStreamFile("5 0 ", "(five)", 1, {{8, {10, 0}}}),
         8},
        {"index beyond N", objectStreamFile("5 0 ", "(five)", 1, {{8, {10, 4}}}), 8},
        {"N larger than the header", objectStreamFile("5 0 ", "(five)", 3, {{5, {10, 0}}}), 5},
        {"offset beyond the data", objectStreamFile("5 90 ", "(five)", 1, {{5, {10, 0}}}), 5},
        {"container is not a stream", objectStreamFile("5 0 ", "(five)", 1, {{5, {1, 0}}}), 5},
        {"container is itself", objectStreamFile("5 0 ", "(five)", 1, {{10, {10, 0}}}), 10},
        {"containers inside each other",
         objectStreamFile("5 0 ", "(five)", 1, {{11, {12, 0}}, {12, {11, 0}}}), 11},
        {"container whose Length is itself",
         objectStreamFile("5 0 ", "(five)", 1, {{5, {10, 0}}}, "/Length 10 0 R"), 5},
    };
    for (const auto& c : cases) {
        auto doc = openBytes(c.bytes);
        EXPECT_TRUE(doc->xref().fetchObject(c.num, 0).isNull()) << c.what;
        EXPECT_EQ(raw(*doc, c.num), "") << c.what;
    }
}

// Object streams are inflated whole where the data allows: data that grows far beyond its
// compressed size is still had whole, and data with a wrong checksum is read piece by piece as
// before, keeping what precedes the damage.
TEST(ObjectStream, WholeBufferDecodingGrowsAndFallsBackOnDamage) {
    const std::string big = "(" + std::string(300000, 'a') + ")";
    auto grown = openBytes(objectStreamFile("5 0 6 " + std::to_string(big.size()) + " ",
                                            big + "(last)", 2, {{5, {10, 0}}, {6, {10, 1}}}));
    EXPECT_EQ(grown->xref().compressedObjectBytes(5, 0)->size(), big.size());
    EXPECT_EQ(*grown->xref().compressedObjectBytes(6, 0), "(last)");

    std::string header, data;
    std::map<int, Compressed> members;
    for (int k = 0; k < 400; ++k) {
        header += std::to_string(20 + k) + " " + std::to_string(data.size()) + " ";
        data += "(member " + std::to_string(k) + ") ";
        members[20 + k] = {10, k};
    }
    std::string bytes = objectStreamFile(header, data, 400, members);
    // The last byte of the zlib checksum sits just before the line end ahead of "endstream".
    const size_t checksum = bytes.find("\nendstream") - 1;
    bytes[checksum] = static_cast<char>(bytes[checksum] ^ 0x55);
    auto damaged = openBytes(bytes);
    EXPECT_EQ(*damaged->xref().compressedObjectBytes(20, 0), "(member 0) ");
    EXPECT_TRUE(damaged->xref().fetchObject(21, 0).isString());
    bool noted = false;
    for (const std::string& line : damaged->xref().diagnostics().lines())
        noted = noted || line.find("damaged") != std::string::npos;
    EXPECT_TRUE(noted);
}

TEST(RawObject, DirectObjectRunsThroughEndobjAndOneByteMore) {
    testpdf::PdfBuilder b = testpdf::simpleDocument(1);
    b.junkBeforeHeader = "garbage\n"; // offsets still count from the header
    auto doc = openBytes(b.build());
    EXPECT_EQ(raw(*doc, 1), "1 0 obj\n" + b.base().objects[1] + "\nendobj\n");
    EXPECT_EQ(raw(*doc, 4), "4 0 obj\n" + b.base().objects[4] + "\nendobj\n");
    EXPECT_EQ(raw(*doc, 0), ""); // free
    EXPECT_EQ(raw(*doc, 6), ""); // outside the table
}

TEST(RawObject, CompressedMemberIsRebuiltWithItsNumberAndGenerationZero) {
    testpdf::PdfBuilder b;
    b.base().xref = testpdf::XrefKind::Stream;
    b.base().objects[1] = "<< /Type /Catalog /Pages 2 0 R >>";
    for (int num = 37; num <= 40; ++num) {
        b.base().objects[num] = "<< /K " + std::to_string(num) + " >>";
        b.base().compressed.insert(num);
    }
    auto doc = openBytes(b.build());
    ASSERT_EQ(doc->xref().entries()[40].gen, 3); // the fourth member
    EXPECT_EQ(raw(*doc, 40), "40 0 obj\n<< /K 40 >>\nendobj\r");
}

TEST(RawObject, StreamDataContainingEndobjIsCopiedWhole) {
    FileText f;
    f.object(1, "<< /Type /Catalog >>");
    f.object(2, testpdf::streamBody("", "q endobj Q\n3 0 obj"));
    f.startxref(f.table(3, "/Root 1 0 R"));
    auto doc = openBytes(f.bytes());
    EXPECT_EQ(raw(*doc, 2),
              "2 0 obj\n" + testpdf::streamBody("", "q endobj Q\n3 0 obj") + "\nendobj\n");
}

TEST(RawObject, EntryThatDoesNotLeadToItsObjectGivesNothing) {
    FileText f;
    f.object(1, "<< /Type /Catalog >>");
    f.object(2, "(two)");
    f.offsets[3] = f.offsets[2]; // header says 2
    f.offsets[4] = f.pos() + 1000000;
    f.offsets[5] = f.add("5 0 obj (never ended)\n");
    f.startxref(f.table(6, "/Root 1 0 R"));
    auto doc = openBytes(f.bytes());
    EXPECT_EQ(raw(*doc, 2), "2 0 obj\n(two)\nendobj\n");
    EXPECT_EQ(raw(*doc, 3), "");
    EXPECT_EQ(raw(*doc, 4), "");
    EXPECT_EQ(raw(*doc, 5), "");
}

TEST(RawObject, FindBytesAnswersTheLastByteOfTheFirstMatchInRange) {
    const std::string text = "<< /Kids [] /Kids >>";
    EXPECT_EQ(findBytes(text, 0, text.size(), "/Kids"), 7u);
    EXPECT_EQ(findBytes(text, 4, text.size(), "/Kids"), 16u); // must start at or after `from`
    EXPECT_EQ(findBytes(text, 0, 7, "/Kids"), 0u);            // must end before `end`
    EXPECT_EQ(findBytes(text, 0, 8, "/Kids"), 7u);
    EXPECT_EQ(findBytes(text, 0, 1000, "/Parent"), 0u);
    EXPECT_EQ(findBytes(text, 30, 10, "/Kids"), 0u);
}

// Objects whose bytes trip a byte search ("endobj" in a string or a comment, a comment before the
// header, a stream Length that misses "endstream"): each is read through the end that a reader of
// tokens finds, copied byte for byte, and the stamped page reads in poppler and MuPDF.
TEST(RawObject, ObjectsAreReadToTheEndobjAfterTheirLastToken) {
    const std::string content = "BT /F1 24 Tf 72 700 Td (Hello 1) Tj ET";
    const struct {
        const char* name;
        int num;
        std::string body;
        std::string leading;  // between the offset the table gives and the header
        bool damaged = false; // readers warn about the input already
    } cases[] = {
        {"endobj in the document title", 9, "<< /Title (report endobj 2020) /Author (A) >>", ""},
        {"endobj in a comment", 9, "<< /Title (t) % endobj\n/Author (A) >>", ""},
        {"brackets in strings", 9, "<< /Title (a ] >> \\) endobj) /Keywords <3E3E> >>", ""},
        {"comment before the header", 4, testpdf::streamBody("", content), "% page body\n"},
        {"line end before the header", 4, testpdf::streamBody("", content), "\r\n"},
        {"stream Length short", 4, "<< /Length 20 >>\nstream\n" + content + "\nendstream", "",
         true},
        {"stream Length past the data", 4, "<< /Length 900 >>\nstream\n" + content + "\nendstream",
         "", true},
        {"stream Length missing", 4, "<< >>\nstream\n" + content + "\nendstream", "", true},
    };
    testpdf::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testpdf::PdfBuilder b = testpdf::simpleDocument(1);
        b.base().objects[c.num] = c.body;
        if (!c.leading.empty()) b.base().leading[c.num] = c.leading;
        b.base().trailerExtra = "/Info 9 0 R";
        if (c.num != 9) b.base().objects[9] = "<< /Title (t) >>";
        const std::string bytes = b.build();
        const std::string text = std::to_string(c.num) + " 0 obj\n" + c.body + "\nendobj\n";
        auto doc = openBytes(bytes);
        EXPECT_EQ(raw(*doc, c.num), text);

        const std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
        testpdf::writeFile(in, bytes);
        ASSERT_EQ(stamptest::stamp(in, out), "");
        const stamptest::OutputPdf pdf = stamptest::readOutput(out);
        EXPECT_EQ(pdf.object(c.num) + "\n", text);
        // MuPDF reads a Length past the data as given, through the objects that follow it in the
        // output, and so loses the stamp after it; poppler measures the data as the engine does.
        for (const char* shown : {"Page 1 / 1", "Hello 1"}) {
            if (c.damaged)
                stamptest::expectReadable(out, 1, shown, true);
            else
                stamptest::expectReadableEverywhere(out, 1, shown);
        }
        if (c.num == 9) {
            const std::string title = testpdf::runCommand({"pdfinfo", out}).out;
            EXPECT_NE(
                title.find(doc->xref().fetchObject(9, 0).getDict()->lookup("Title").getText()),
                std::string::npos)
                << title;
        }
    }
}

// A string left open (or an "endobj" missing) gives the object no end of its own: it is taken
// through the first "endobj" after it, as before, and the objects after it are read as usual.
TEST(RawObject, ObjectWithoutAnEndOfItsOwnRunsToTheFirstEndobj) {
    FileText f;
    f.object(1, "<< /Type /Catalog >>");
    f.object(2, "<< /Title (left open >>");
    f.object(3, "(three)");
    f.startxref(f.table(4, "/Root 1 0 R"));
    auto doc = openBytes(f.bytes());
    EXPECT_EQ(raw(*doc, 2), "2 0 obj\n<< /Title (left open >>\nendobj\n");
    EXPECT_EQ(raw(*doc, 3), "3 0 obj\n(three)\nendobj\n");
}

// Decoded object streams are kept within a budget, least recently used out first. With room for
// only one, every switch between streams decodes again, and every member still reads right,
// parsed or as text, in any order.
TEST(ObjectStream, CacheEvictionKeepsMembersRight) {
    testpdf::PdfBuilder b;
    for (int r = 0; r < 3; ++r) {
        testpdf::Revision& rev = r == 0 ? b.base() : b.addRevision();
        rev.xref = testpdf::XrefKind::Stream;
        for (int k = 0; k < 3; ++k) {
            const int num = 10 * (r + 1) + k;
            rev.objects[num] =
                "<< /K " + std::to_string(num) + " /S (in stream " + std::to_string(r) + ") >>";
            rev.compressed.insert(num);
        }
    }
    b.base().objects[1] = "<< /Type /Catalog /Pages 2 0 R >>";
    testpdf::TempDir dir;
    const std::string path = dir.file("in.pdf");
    testpdf::writeFile(path, b.build());
    for (const size_t budget : {size_t{1}, size_t{16} << 20}) {
        SCOPED_TRACE(budget);
        ReaderLimits limits;
        limits.objectStreamCacheBytes = budget;
        XrefTable xref(InputFile::open(path), 0, limits);
        xref.read();
        for (int round = 0; round < 2; ++round) {
            for (const int num : {10, 20, 30, 11, 31, 21, 12, 22, 32}) {
                SCOPED_TRACE(num);
                const PdfObject obj = xref.fetchObject(num, 0);
                ASSERT_TRUE(obj.isDict());
                EXPECT_EQ(obj.getDict()->lookup("K").getInt(), num);
                EXPECT_EQ(std::string(readRawObject(xref, num).bytes()),
                          std::to_string(num) + " 0 obj\n" +
                              b.revisions[num / 10 - 1].objects[num] + "\nendobj\r");
            }
        }
    }
}
