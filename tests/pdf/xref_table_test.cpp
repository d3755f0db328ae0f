// Cross-reference reading: where the data is found, which entry wins, the "Prev" chain, hybrid
// files, refused files, and fetching objects by number.
#include <gtest/gtest.h>

#include "engine/pdf/raw_object.hpp"
#include "engine/pdf/xref_table.hpp"
#include "pdf/reader_fixtures.hpp"
#include "support/pdf_builder.hpp"

using namespace tavrix;
using readertest::be;
using readertest::entryLine;
using readertest::FileText;
using readertest::openBytes;
using readertest::openError;

namespace {

const std::string kCatalog = "<< /Type /Catalog /Pages 2 0 R >>";

// Object 1, then an uncompressed cross-reference stream (object 2) with the given keys and rows.
std::string xrefStreamFile(const std::string& keys, const std::string& rows) {
    FileText f;
    f.object(1, kCatalog);
    const int64_t at = f.object(2, testpdf::streamBody(keys + " /Root 1 0 R", rows));
    f.startxref(at);
    return f.bytes();
}

// Object 1, then the given section text at the "startxref" offset.
std::string sectionFile(const std::string& section) {
    FileText f;
    f.object(1, kCatalog);
    f.startxref(f.add(section));
    return f.bytes();
}

// A valid little file: catalog 1 and a table whose trailer has the given keys.
FileText validFile(const std::string& trailerKeys = "/Root 1 0 R") {
    FileText f;
    f.object(1, kCatalog);
    f.startxref(f.table(2, trailerKeys));
    return f;
}

std::string baseFontOf(PdfDocument& doc, int num) {
    const PdfObject font = doc.xref().fetchObject(num, 0);
    if (!font.isDict()) return "(not a dictionary)";
    return font.getDict()->lookup("BaseFont").getText();
}

} // namespace

TEST(XrefTable, SectionNamedByStartxrefWinsForEveryPairOfKinds) {
    using testpdf::XrefKind;
    const XrefKind kinds[] = {XrefKind::Table, XrefKind::Stream};
    for (XrefKind older : kinds) {
        for (XrefKind newer : kinds) {
            testpdf::PdfBuilder b = testpdf::simpleDocument(1, older);
            testpdf::Revision& update = b.addRevision();
            update.xref = newer;
            update.objects[5] = "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>";
            auto doc = openBytes(b.build());
            const std::string label = std::to_string(int(older)) + "/" + std::to_string(int(newer));
            EXPECT_EQ(baseFontOf(*doc, 5), "Courier") << label;
            // Objects only the older section lists are still found.
            EXPECT_TRUE(doc->xref().fetchObject(1, 0).isDict()) << label;
        }
    }
}

TEST(XrefTable, FreeEntryInNewerSectionHidesOlderObject) {
    testpdf::PdfBuilder b = testpdf::simpleDocument(1);
    b.addRevision().freed.insert(5);
    auto doc = openBytes(b.build());
    EXPECT_EQ(doc->xref().entries()[5].type, XrefType::Free);
    EXPECT_TRUE(doc->xref().fetchObject(5, 0).isNull());
}

TEST(XrefTable, PrevWrittenAsReferenceIsFollowed) {
    testpdf::PdfBuilder b = testpdf::simpleDocument(1);
    b.addRevision().objects[5] = "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>";
    std::string bytes = b.build();
    const size_t at = bytes.rfind("/Prev ");
    ASSERT_NE(at, std::string::npos);
    const size_t end = bytes.find_first_not_of("0123456789", at + 6);
    bytes.insert(end, " 0 R");
    auto doc = openBytes(bytes);
    EXPECT_EQ(baseFontOf(*doc, 5), "Courier");
    EXPECT_TRUE(doc->xref().fetchObject(1, 0).isDict()); // listed only by the older section
}

TEST(XrefTable, PrevLoopStopsReading) {
    // A section whose "Prev" names itself.
    FileText self;
    self.object(1, kCatalog);
    const int64_t at = self.table(2, "/Root 1 0 R /Prev XXXXXXXXXX");
    self.patch("XXXXXXXXXX", at);
    self.startxref(at);
    EXPECT_EQ(openError(self.bytes()), "");

    // Two sections naming each other; both are read once.
    FileText pair;
    pair.object(1, kCatalog);
    const int64_t older =
        pair.add("xref\n0 2\n" + entryLine(0, 65535, 'f') + entryLine(pair.offsets[1], 0, 'n') +
                 "trailer\n<< /Size 2 /Prev XXXXXXXXXX >>\n");
    pair.object(3, "<< /Type /Font /BaseFont /Courier >>");
    const int64_t newer =
        pair.add("xref\n3 1\n" + entryLine(pair.offsets[3], 0, 'n') +
                 "trailer\n<< /Size 4 /Root 1 0 R /Prev " + std::to_string(older) + " >>\n");
    pair.patch("XXXXXXXXXX", newer);
    pair.startxref(newer);
    auto doc = openBytes(pair.bytes());
    EXPECT_TRUE(doc->xref().fetchObject(1, 0).isDict());
    EXPECT_EQ(baseFontOf(*doc, 3), "Courier");
}

TEST(XrefTable, WithoutTypeFieldEveryStreamEntryIsInUse) {
    FileText f;
    f.object(1, kCatalog);
    const int64_t at = f.pos();
    std::string rows = be(0, 2) + be(0, 1) + be(f.offsets[1], 2) + be(0, 1) + be(at, 2) + be(0, 1);
    f.object(2, testpdf::streamBody("/Type /XRef /Size 3 /W [0 2 1] /Root 1 0 R", rows));
    f.startxref(at);
    auto doc = openBytes(f.bytes());
    for (const XrefEntry& e : doc->xref().entries())
        EXPECT_EQ(e.type, XrefType::InUse);
    EXPECT_TRUE(doc->xref().fetchObject(1, 0).isDict());
}

TEST(XrefTable, IndexPairsReadListedRangesAndIgnoreALoneLastElement) {
    std::string rows;
    for (int i = 0; i < 5; ++i)
        rows += be(1, 1) + be(100 + i, 2) + be(0, 1);
    auto doc = openBytes(xrefStreamFile("/Size 12 /W [1 2 1] /Index [0 3 10 2 99]", rows));
    const std::vector<XrefEntry>& entries = doc->xref().entries();
    ASSERT_EQ(entries.size(), 12u);
    EXPECT_EQ(entries[2].offset, 102);
    for (int num = 3; num < 10; ++num)
        EXPECT_TRUE(entries[num].unset) << num;
    EXPECT_EQ(entries[10].offset, 103);
    EXPECT_EQ(entries[11].offset, 104);
}

TEST(XrefTable, TableEntriesAreReadAsTokensInAnyLayout) {
    FileText f;
    f.object(1, kCatalog);
    const std::string off = std::to_string(f.offsets[1]);
    f.startxref(f.add("xref 0 0 0 1 0 65535 f 1 1\n" + off + " 0 n trailer<</Root 1 0 R>>"));
    auto doc = openBytes(f.bytes());
    EXPECT_TRUE(doc->xref().fetchObject(1, 0).isDict());
}

TEST(XrefTable, StartxrefProblemsReportDamagedFile) {
    const std::string valid = validFile().bytes();
    const size_t kw = valid.rfind("startxref");
    const std::string head = valid.substr(0, kw);
    const std::string cases[] = {
        head,                                        // no keyword
        head + "startxref\n0\n%%EOF\n",              // offset 0
        head + "startxref\n%%EOF\n",                 // no number
        valid + "%" + std::string(1100, 'x') + "\n", // keyword too far from the end
    };
    for (const std::string& bytes : cases)
        EXPECT_EQ(openError(bytes), "PDF file was damaged");
}

TEST(XrefTable, TwoStartxrefKeywordsLaterOneIsUsed) {
    const std::string valid = validFile().bytes();
    const size_t kw = valid.rfind("startxref");
    const std::string good = valid.substr(kw);
    const std::string bad = "startxref\n3\n%%EOF\n";
    EXPECT_EQ(openError(valid.substr(0, kw) + bad + good), "");
    EXPECT_NE(openError(valid.substr(0, kw) + good + bad), "");
}

TEST(XrefTable, BytesBeforeHeaderOffsetsCountFromHeader) {
    FileText f("0123456789");
    f.object(1, kCatalog);
    f.startxref(f.table(2, "/Root 1 0 R"));
    auto doc = openBytes(f.bytes());
    EXPECT_EQ(doc->headerShift(), 10);
    EXPECT_TRUE(doc->xref().fetchObject(1, 0).isDict());

    EXPECT_EQ(findHeaderOffset(std::string(1017, ' ') + "%PDF-1.4"), 1017);
    EXPECT_EQ(findHeaderOffset(std::string(1018, ' ') + "%PDF-1.4"), 0);
    EXPECT_EQ(findHeaderOffset("no header"), 0);
}

TEST(XrefTable, TrailerEntriesRootInfoAndEncrypt) {
    auto doc = openBytes(validFile("/Root 1 0 R /Info 7 0 R").bytes());
    EXPECT_EQ(doc->xref().rootNum(), 1);
    EXPECT_EQ(doc->xref().infoNum(), 7);
    EXPECT_EQ(doc->xref().trailer().getDict()->lookup("Size").getInt(), 2);

    EXPECT_EQ(openError(validFile("/Root 1 0 R /Encrypt 9 0 R").bytes()), "PDF file is encrypted");
    // A direct dictionary encrypts the file just the same.
    EXPECT_EQ(openError(validFile("/Root 1 0 R /Encrypt << /Filter /Standard >>").bytes()),
              "PDF file is encrypted");
    EXPECT_EQ(openError(validFile("/Info 7 0 R").bytes()), "PDF file was damaged");
    EXPECT_EQ(openError(validFile("/Root << >>").bytes()), "PDF file was damaged");
}

TEST(XrefTable, DamagedSectionsReportTheirMessage) {
    const std::string row = be(1, 1) + be(9, 2) + be(0, 1);
    const struct {
        const char* what;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"not a section", sectionFile("<< /Root 1 0 R >>"), "Couldn't parse an xref"},
        {"object not a stream", sectionFile("5 0 obj << /Root 1 0 R >> endobj"),
         "Couldn't parse an xref stream"},
        {"bad entry", sectionFile("xref\n0 1\n0000000000 65535 x\ntrailer << >>"),
         "Couldn't parse an xref table"},
        {"bad subsection", sectionFile("xref\n0 /One\ntrailer << >>"),
         "Couldn't parse an xref table"},
        {"no trailer", sectionFile("xref\n0 1\n0000000000 65535 f\n"),
         "Couldn't parse an xref table"},
        {"trailer not a dictionary", sectionFile("xref\n0 0\ntrailer [/Root 1 0 R]"),
         "Trailer dictionary is wrong type"},
        {"Size missing", xrefStreamFile("/W [1 2 1]", row), "Size of xref Stream is wrong type"},
        {"W missing", xrefStreamFile("/Size 1", row), "W item of xref Stream is wrong type"},
        {"W short", xrefStreamFile("/Size 1 /W [1 2]", row),
         "W item of xref Stream is wrong length"},
        {"W not integers", xrefStreamFile("/Size 1 /W [1 /Two 1]", row),
         "W item of xref Stream is wrong type"},
        {"Index not integers", xrefStreamFile("/Size 1 /W [1 2 1] /Index [0 /One]", row),
         "Index item of xref Stream is wrong type"},
        {"rows short", xrefStreamFile("/Size 2 /W [1 2 1]", row),
         "Unexpected EOF while reading xref stream section"},
        {"entry type 3", xrefStreamFile("/Size 1 /W [1 2 1]", be(3, 1) + be(9, 2) + be(0, 1)),
         "Wrong type of xref entry while reading xref stream section"},
        // Sections are read without a table, so nothing indirect in them can be resolved.
        {"indirect Length",
         sectionFile("2 0 obj << /Size 1 /W [1 2 1] /Root 1 0 R /Length 3 0 R >> stream\n" + row +
                     "\nendstream endobj 3 0 obj 4 endobj"),
         "Couldn't parse an xref stream"},
        {"indirect Filter", xrefStreamFile("/Size 1 /W [1 2 1] /Filter 3 0 R", row),
         "Couldn't parse an xref stream"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(openError(c.bytes), c.message) << c.what;
}

TEST(XrefTable, HybridFileObjectsOnlyInXRefStmAreFound) {
    for (bool tableFreesThem : {false, true}) {
        testpdf::PdfBuilder b = testpdf::simpleDocument(2, testpdf::XrefKind::Hybrid, true);
        b.base().hybridTableFreesCompressed = tableFreesThem;
        auto doc = openBytes(b.build());
        XrefTable& xref = doc->xref();
        EXPECT_EQ(xref.entries()[1].type, XrefType::Compressed) << tableFreesThem;
        const PdfObject catalog = xref.fetchObject(1, 0);
        ASSERT_TRUE(catalog.isDict()) << tableFreesThem;
        EXPECT_TRUE(catalog.getDict()->lookup("Pages").isDict()); // 2, compressed as well
        EXPECT_TRUE(xref.fetchObject(5, 0).isStream());           // stored directly
    }
}

TEST(XrefTable, FetchObjectChecksNumberGenerationAndHeader) {
    FileText f;
    f.object(1, kCatalog);
    f.object(2, "(two)", 1);
    f.object(3, "(three)");
    f.offsets[4] = f.offsets[3]; // entry 4 points at object 3's header
    f.object(5, "(five)");       // listed with generation 1, written with 0
    f.startxref(f.table(6, "/Root 1 0 R", {{2, 1}, {5, 1}}));
    auto doc = openBytes(f.bytes());
    XrefTable& xref = doc->xref();
    EXPECT_EQ(xref.fetchObject(2, 1).getText(), "two");
    EXPECT_TRUE(xref.fetchObject(2, 0).isNull()); // generation differs from the entry
    // The entry and the header must agree on the generation, for a fetch and for a copy.
    EXPECT_TRUE(xref.fetchObject(5, 0).isNull());
    EXPECT_TRUE(xref.fetchObject(5, 1).isNull());
    EXPECT_EQ(readRawObject(xref, 5).bytes(), "");
    EXPECT_EQ(readRawObject(xref, 2).bytes().substr(0, 8), "2 1 obj\n");
    EXPECT_TRUE(xref.fetchObject(4, 0).isNull()); // header names another object
    EXPECT_TRUE(xref.fetchObject(0, 0).isNull()); // free
    // Outside the table: a reference to a missing object is a reference to null.
    for (int num : {6, -1, 1 << 30}) {
        EXPECT_TRUE(xref.fetchObject(num, 0).isNull()) << num;
        EXPECT_FALSE(xref.compressedObjectBytes(num, 0).has_value()) << num;
    }
}
