// Damaged cross-reference data: refused with the byte where it broke and the way out, and, with
// repair, rebuilt from the objects the file holds into a sound, stamped output.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/pdf/pdf_exception.hpp"
#include "engine/service/stamp_job.hpp"
#include "support/pdf_builder.hpp"
#include "support/test_files.hpp"
#include "writer/stamp_run.hpp"

using namespace testpdf;

namespace {

using stamptest::JobOutcome;

// Every page k of `pages` shows its own text and its stamp, and qpdf finds nothing wrong.
void expectStamped(const std::string& path, int pages) {
    std::string report;
    EXPECT_TRUE(qpdfCheck(path, false, &report)) << report;
    EXPECT_EQ(pageCount(path), pages);
    for (int k = 1; k <= pages; ++k) {
        const std::string text = pdfText(path, k);
        EXPECT_NE(text.find("Hello " + std::to_string(k)), std::string::npos) << k << ": " << text;
        EXPECT_NE(text.find("Page " + std::to_string(k) + " / " + std::to_string(pages)),
                  std::string::npos)
            << k << ": " << text;
    }
}

bool mentions(const std::vector<std::string>& notes, const std::string& words) {
    for (const std::string& n : notes)
        if (n.find(words) != std::string::npos) return true;
    return false;
}

} // namespace

TEST(Repair, EachDamageIsRefusedAtItsByteAndRebuiltOnRequest) {
    if (!toolAvailable("qpdf")) GTEST_SKIP() << "qpdf is not installed";
    struct Case {
        const char* name;
        XrefKind xref;
        bool objectStreams;
        XrefDamage damage;
        int revisions;
        bool exactByte; // the reason names the very byte the damage starts at
    };
    const Case cases[] = {
        {"startxref removed", XrefKind::Table, false, XrefDamage::NoStartxref, 1, true},
        {"startxref removed, object streams", XrefKind::Stream, true, XrefDamage::NoStartxref, 1,
         true},
        {"table offsets shifted", XrefKind::Table, false, XrefDamage::ShiftedOffsets, 1, true},
        {"table cut", XrefKind::Table, false, XrefDamage::CutTable, 1, true},
        {"junk in a table", XrefKind::Table, false, XrefDamage::JunkInSection, 1, false},
        {"damaged stream section", XrefKind::Stream, true, XrefDamage::JunkInSection, 1, false},
        {"Prev into garbage", XrefKind::Table, false, XrefDamage::PrevIntoGarbage, 2, false},
    };
    TempDir dir;
    const std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PdfBuilder b = simpleDocument(3, c.xref, c.objectStreams);
        if (c.revisions == 2) {
            // A later revision that changes the first page's text and names a title.
            Revision& update = b.addRevision();
            update.objects[6] = streamBody("", "BT /F1 24 Tf 72 700 Td (Hello 1) Tj ET");
            update.objects[20] = "<< /Title (Second revision) >>";
            update.trailerExtra = "/Info 20 0 R";
            update.xref = c.xref;
        }
        int64_t at = -1;
        const std::string bytes = damaged(b, b.build(), c.damage, &at);
        writeFile(in, bytes);
        std::filesystem::remove(out);

        JobOutcome r = stamptest::runJob(in, out, "");
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.kind, tavrix::FailureKind::RepairNeeded);
        const std::string prefix = "'" + in + "': cross-reference data damaged at byte ";
        ASSERT_EQ(r.reason.rfind(prefix, 0), 0u) << r.reason;
        EXPECT_TRUE(r.reason.ends_with("; --repair rebuilds it")) << r.reason;
        const int64_t byte = std::atoll(r.reason.c_str() + prefix.size());
        if (c.exactByte)
            EXPECT_EQ(byte, at);
        else // within the broken section, at or before the damage
            EXPECT_TRUE(byte >= std::min(b.lastStartxref, at) && byte <= at + 32)
                << byte << " for damage at " << at;
        EXPECT_FALSE(fileExists(out));

        // An update would chain its /Prev into the damage: refused, nothing written.
        r = stamptest::runJob(in, out, "repair=1;incremental=1");
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.reason.find("stamp it without --incremental"), std::string::npos) << r.reason;
        EXPECT_FALSE(fileExists(out));

        r = stamptest::runJob(in, out, "repair=1");
        ASSERT_TRUE(r.ok) << r.reason;
        EXPECT_TRUE(mentions(r.notes, "rebuilt")) << r.notes.size();
        expectStamped(out, 3);
        // The newest trailer is the one taken.
        if (c.revisions == 2) {
            EXPECT_NE(readFile(out).find("/Info 20 0 R"), std::string::npos);
        }
    }
}

TEST(Repair, HeadersInsideStringsAndStreamDataAreNoObjects) {
    // Decoys after the real objects (a later definition would win): a catalog in a title string
    // and a page tree in a content stream's data, each at the start of a line.
    PdfBuilder b = simpleDocument(2);
    Revision& r = b.base();
    r.objects[9] = "<< /Title (made by hand\n1 0 obj << /Type /Catalog /Pages 40 0 R >> endobj\n) "
                   ">>";
    r.objects[10] = streamBody("", "BT ET\n2 0 obj\n<< /Type /Pages /Kids [] /Count 0 >>\nendobj\n"
                                   "trailer << /Root 2 0 R >>\n");
    r.trailerExtra = "/Info 9 0 R";
    TempDir dir;
    const std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
    // After them an object numbered 0, a number no object may have.
    writeFile(in, damaged(b, b.build(), XrefDamage::NoStartxref) +
                      "0 0 obj\n<< /Type /Pages /Kids [] /Count 0 >>\nendobj\n");
    const JobOutcome run = stamptest::runJob(in, out, "repair=1");
    ASSERT_TRUE(run.ok) << run.reason;
    EXPECT_TRUE(mentions(run.notes, "an object header with an unusable number is passed over"));
    expectStamped(out, 2);
    // The Info dictionary the trailer names comes along, string and all.
    EXPECT_NE(readFile(out).find("/Info 9 0 R"), std::string::npos);
}

TEST(Repair, WithoutAnyTrailerTheLastCatalogObjectIsTaken) {
    PdfBuilder b = simpleDocument(2);
    // An older catalog that is no longer used comes first; the file ends after its objects.
    b.base().objects[1] = "<< /Type /Catalog /Pages 99 0 R >>";
    b.base().objects[20] = "<< /Type /Catalog /Pages 2 0 R >>";
    b.rootNum = 20;
    std::string bytes = b.build();
    bytes.erase(bytes.find("xref\n"));
    TempDir dir;
    const std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
    writeFile(in, bytes);
    JobOutcome run = stamptest::runJob(in, out, "repair=1");
    ASSERT_TRUE(run.ok) << run.reason;
    EXPECT_TRUE(mentions(run.notes, "the catalog is taken from the last /Type /Catalog object"));
    expectStamped(out, 2);

    // Nothing in the file that is an object: beyond repair, and said so.
    writeFile(in, "%PDF-1.4\nnothing here\n%%EOF\n");
    run = stamptest::runJob(in, out, "repair=1");
    EXPECT_FALSE(run.ok);
    EXPECT_NE(run.reason.find("damaged beyond repair"), std::string::npos) << run.reason;
    EXPECT_EQ(run.kind, tavrix::FailureKind::Other);
}

TEST(Repair, AnUpdateCutShortBeforeItsOwnStartxrefIsNotDroppedSilently) {
    PdfBuilder b = simpleDocument(2);
    b.addRevision().objects[5] = streamBody("", "BT /F1 24 Tf 72 700 Td (Updated 1) Tj ET");
    std::string bytes = b.build();
    const int64_t update = b.offsets.at(5);
    // The update's object stays; its table, trailer and "startxref" are gone, so the last
    // "startxref" in the file is the older revision's.
    bytes.erase(static_cast<size_t>(b.lastStartxref));
    TempDir dir;
    const std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
    writeFile(in, bytes);

    JobOutcome run = stamptest::runJob(in, out, "");
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.kind, tavrix::FailureKind::RepairNeeded);
    EXPECT_NE(run.reason.find("damaged at byte " + std::to_string(update) + ";"), std::string::npos)
        << run.reason;
    EXPECT_FALSE(fileExists(out));

    run = stamptest::runJob(in, out, "repair=1");
    ASSERT_TRUE(run.ok) << run.reason;
    EXPECT_NE(pdfText(out, 1).find("Updated 1"), std::string::npos) << pdfText(out, 1);

    // Bytes after the end marker that hold no object are no damage.
    writeFile(in, simpleDocument(2).build() + "\n-- sent from a phone\n");
    run = stamptest::runJob(in, out, "");
    EXPECT_TRUE(run.ok) << run.reason;
}

TEST(Repair, DataThatReadsWellButLeavesOutAPageIsRebuiltOnRequest) {
    // An update frees the second page while the tree still lists it: the cross-reference data
    // reads without fault, yet a page is missing from it (as when a Prev loop is cut).
    PdfBuilder b = simpleDocument(3);
    b.addRevision().freed.insert(4);
    TempDir dir;
    const std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
    writeFile(in, b.build());

    // Without repair the page is passed over, as viewers pass over it, and a note says so.
    JobOutcome run = stamptest::runJob(in, out, "verbose=1");
    ASSERT_TRUE(run.ok) << run.reason;
    EXPECT_TRUE(mentions(run.notes, "a page-tree kid that is no page or node is passed over"));
    EXPECT_FALSE(mentions(run.notes, "it was rebuilt"));

    // With repair the data is rebuilt from the objects in the file, and every page is stamped.
    run = stamptest::runJob(in, out, "repair=1");
    ASSERT_TRUE(run.ok) << run.reason;
    EXPECT_TRUE(mentions(run.notes, "leaves out objects of the page tree; it was rebuilt"));
    expectStamped(out, 3);
}
