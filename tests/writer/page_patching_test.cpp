// Stamped pages end to end: every form a page's /Contents and /Resources can take is patched so
// that the page draws the stamp, and every output is read back by independent tools. The page
// tree as a viewer reads it: which objects are pages, and the box and rotation each page is shown
// with (its own or inherited, stored in place or in an object of its own).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "engine/pdf/raw_object.hpp"
#include "engine/writer/page_tree.hpp"
#include "pdf/reader_fixtures.hpp"
#include "support/pdf_builder.hpp"
#include "support/test_files.hpp"
#include "writer/stamp_run.hpp"

namespace {

using namespace stamptest;
using testpdf::PdfBuilder;
using testpdf::streamBody;

// Catalog 1, page tree 2, the page 3 (under `parent`) with the given entries, a content stream
// 4 that writes "Hello" in font 5 (Helvetica), and a stream 6 that only fills a rectangle.
// `extra` adds objects or replaces any of these.
PdfBuilder onePage(const std::string& pageEntries, const std::map<int, std::string>& extra = {},
                   int parent = 2) {
    PdfBuilder b;
    auto& objects = b.base().objects;
    objects[1] = "<< /Type /Catalog /Pages 2 0 R >>";
    objects[2] = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
    objects[3] = "<< /Type /Page /Parent " + std::to_string(parent) +
                 " 0 R /MediaBox [0 0 612 792] " + pageEntries + " >>";
    objects[4] = streamBody("", "BT /F1 24 Tf 72 700 Td (Hello) Tj ET");
    objects[5] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
    objects[6] = streamBody("", "0 0 1 rg 300 300 50 50 re f");
    for (const auto& [num, body] : extra)
        objects[num] = body;
    return b;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

struct PatchCase {
    const char* name;
    std::string pageEntries;
    // A text the page (object 3) must hold once white space is squeezed, with {Q} {S} for the two
    // new streams, {F} {f} for the font's name and number and {G} {g} for the graphics state's.
    std::string page;
    const char* pageText; // shown by the page's own content besides the stamp
    std::map<int, std::string> extra = {};
    // The rewritten indirect objects, with a text each must hold in the same way.
    std::map<int, std::string> rewritten = {};
    int parent = 2;
};

TEST(PagePatching, EveryFormOfContentsAndResources) {
    const std::string font1 = "/Resources << /Font << /F1 5 0 R >> >>";
    const std::string annotation = "/Annots [<< /Type /Annot /Subtype /Text /Rect [0 0 10 10] "
                                   "/Contents (a \\) note /Contents [ <<) >>] ";
    const std::string addedResources =
        "<</ExtGState << /{G} {g} 0 R >> /Font << /{F} {f} 0 R /F1 5 0 R >> >>";
    const std::vector<PatchCase> cases = {
        {"no contents", font1, "<</Contents [ {Q} 0 R {S} 0 R ] /Type /Page", ""},
        {"single reference", "/Contents 4 0 R\n" + font1,
         "/Contents [ {Q} 0 R 4 0 R {S} 0 R ] /Resources", "Hello"},
        {"single reference last", font1 + " /Contents 4 0 R",
         "/Contents [ {Q} 0 R 4 0 R {S} 0 R ]>>", "Hello"},
        {"reference to a free object",
         "/Contents 7 0 R " + font1,
         "/Contents [ {Q} 0 R {S} 0 R ] /Resources",
         "",
         {{8, "<< >>"}}},
        {"direct array", "/Contents [4 0 R 6 0 R] " + font1,
         "/Contents [ {Q} 0 R 4 0 R 6 0 R {S} 0 R ]", "Hello"},
        {"indirect array",
         "/Contents 7 0 R " + font1,
         "/Contents [ {Q} 0 R 4 0 R 6 0 R {S} 0 R ]",
         "Hello",
         {{7, "[4 0 R 6 0 R]"}}},
        {"resources without font", "/Contents 6 0 R /Resources << /ProcSet [/PDF] >>",
         "/Resources <</ExtGState << /{G} {g} 0 R >>/Font << /{F} {f} 0 R >> /ProcSet", ""},
        {"font direct", "/Contents 4 0 R " + font1,
         "/Resources <</ExtGState << /{G} {g} 0 R >> /Font << /{F} {f} 0 R /F1 5 0 R >>", "Hello"},
        {"font indirect",
         "/Contents 4 0 R /Resources << /Font 7 0 R >>",
         "/Font 7 0 R",
         "Hello",
         {{7, "<< /F1 5 0 R >>"}},
         {{7, "<< /{F} {f} 0 R /F1 5 0 R >>"}}},
        {"graphics states direct",
         "/Contents 4 0 R /Resources << /Font << /F1 5 0 R >> /ExtGState << /G0 7 0 R >> >>",
         "/ExtGState << /{G} {g} 0 R /G0 7 0 R >>",
         "Hello",
         {{7, "<< /Type /ExtGState /CA 1 >>"}}},
        {"graphics states indirect",
         "/Contents 4 0 R /Resources << /Font << /F1 5 0 R >> /ExtGState 7 0 R >>",
         "/ExtGState 7 0 R",
         "Hello",
         {{7, "<< /G0 8 0 R >>"}, {8, "<< /Type /ExtGState /CA 1 >>"}},
         {{7, "<< /{G} {g} 0 R /G0 8 0 R >>"}}},
        {"resources indirect",
         "/Contents 4 0 R /Resources 7 0 R",
         "/Resources 7 0 R",
         "Hello",
         {{7, "<< /Font << /F1 5 0 R >> >>"}},
         {{7, addedResources}}},
        {"resources and font indirect",
         "/Contents 4 0 R /Resources 7 0 R",
         "",
         "Hello",
         {{7, "<< /Font 8 0 R /ProcSet [/PDF] >>"}, {8, "<< /F1 5 0 R >>"}},
         {{8, "<< /{F} {f} 0 R /F1 5 0 R >>"}, {7, "<</ExtGState << /{G} {g} 0 R >> /Font 8 0 R"}}},
        {"inline annotation first", annotation + "/Contents 4 0 R " + font1,
         "/Contents (a \\) note /Contents [ <<) >>] /Contents [ {Q} 0 R 4 0 R {S} 0 R ]", "Hello"},
        {"inherited direct, two levels up",
         "/Contents 4 0 R",
         "<</Resources " + addedResources + " /Type /Page",
         "Hello",
         {{2, "<< /Type /Pages /Kids [8 0 R] /Count 1 " + font1 + " >>"},
          {8, "<< /Type /Pages /Parent 2 0 R /Kids [3 0 R] /Count 1 >>"}},
         {},
         8},
        {"inherited indirect",
         "/Contents 4 0 R",
         "<</Resources 7 0 R /Type /Page",
         "Hello",
         {{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /Resources 7 0 R >>"},
          {7, "<< /Font << /F1 5 0 R >> >>"}},
         {{7, addedResources}}},
        {"comment after the contents reference", "/Contents 4 0 R % the page body\n" + font1,
         "/Contents [ {Q} 0 R 4 0 R {S} 0 R ] % the page body /Resources", "Hello"},
        {"contents reference with another generation", "/Contents 4 1 R " + font1,
         "/Contents [ {Q} 0 R 4 0 R {S} 0 R ]/Resources", "Hello"},
        {"contents reference beyond the table", "/Contents 99 0 R " + font1,
         "/Contents [ {Q} 0 R {S} 0 R ] /Resources", ""},
        {"contents null", "/Contents null " + font1, "/Contents [ {Q} 0 R {S} 0 R ] /Resources",
         ""},
        {"font null", "/Contents 4 0 R /Resources << /Font null /ProcSet [/PDF] >>",
         "/Resources <</ExtGState << /{G} {g} 0 R >> /Font << /{F} {f} 0 R >> /ProcSet", ""},
        {"font reference beyond the table", "/Contents 6 0 R /Resources << /Font 99 0 R >>",
         "/Resources <</ExtGState << /{G} {g} 0 R >> /Font << /{F} {f} 0 R >> >>", ""},
        {"graphics states null",
         "/Contents 4 0 R /Resources << /Font << /F1 5 0 R >> /ExtGState null >>",
         "/Font << /{F} {f} 0 R /F1 5 0 R >> /ExtGState << /{G} {g} 0 R >> >>", "Hello"},
        {"resources null, inherited",
         "/Contents 4 0 R /Resources null",
         "]/Resources " + addedResources + " >>",
         "Hello",
         {{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 " + font1 + " >>"}}},
        {"resources reference beyond the table", "/Contents 6 0 R /Resources 99 0 R",
         "/Resources << /Font << /{F} {f} 0 R >> /ExtGState << /{G} {g} 0 R >> >>", ""},
        // A reference to what is no dictionary is one to nothing: the page gets its own.
        {"resources reference to an array",
         "/Contents 6 0 R /Resources 7 0 R",
         "/Resources << /Font << /{F} {f} 0 R >> /ExtGState << /{G} {g} 0 R >> >>",
         "",
         {{7, "[ /PDF /Text ]"}}},
        {"resources reference to a stream",
         "/Contents 6 0 R /Resources 7 0 R",
         "/Resources << /Font << /{F} {f} 0 R >> /ExtGState << /{G} {g} 0 R >> >>",
         "",
         {{7, "<< /Font << >> /Length 0 >>\nstream\n\nendstream"}}},
        {"inherited direct, after a nested dictionary of the same name",
         "/Contents 4 0 R",
         "<</Resources " + addedResources + " /Type /Page",
         "Hello",
         {{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /PieceInfo << /App << /Resources << "
              "/Bogus 1 >> /Private (/Resources) >> >> " +
                  font1 + " >>"}}},
        {"endobj in an annotation's text",
         "/Annots [<< /Type /Annot /Subtype /Text /Rect [0 0 10 10] /Contents (type endobj to "
         "end) >>] /Contents 4 0 R " +
             font1,
         "(type endobj to end) >>] /Contents [ {Q} 0 R 4 0 R {S} 0 R ]/Resources", "Hello"},
        {"no resources anywhere", "/Contents 6 0 R",
         "<</Resources << /Font << /{F} {f} 0 R >> /ExtGState << /{G} {g} 0 R >> >> /Type /Page",
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PdfBuilder b = onePage(c.pageEntries, c.extra, c.parent);
        const auto& [dir, in, out] = InOut(b.build());
        const int n = b.base().objects.rbegin()->first + 1; // the input's size
        ASSERT_EQ(stamp(in, out), "");
        const OutputPdf pdf = readOutput(out);
        ASSERT_TRUE(pdf.wellFormed);
        const int q = n + 3, s = n + 4;
        EXPECT_EQ(shownText(pdf, s), "Page 1 / 1");
        const auto fill = [&](std::string text) {
            text = replaceAll(text, "{Q}", std::to_string(q));
            text = replaceAll(text, "{S}", std::to_string(s));
            text = replaceAll(text, "{F}", fontResourceName(pdf, n + 1));
            text = replaceAll(text, "{f}", std::to_string(n + 1));
            text = replaceAll(text, "{G}", gsResourceName(pdf, s));
            return replaceAll(text, "{g}", std::to_string(n + 2));
        };
        std::map<int, std::string> expect = c.rewritten;
        expect[3] = c.page;
        for (const auto& [num, text] : expect) {
            EXPECT_NE(squeeze(pdf.object(num)).find(fill(text)), std::string::npos)
                << "object " << num << " lacks " << fill(text) << "\n"
                << pdf.object(num);
            // Write order: the two streams, the rewritten objects, the page last; each once.
            if (num != 3) {
                EXPECT_GT(pdf.entries[num].offset, pdf.entries[s].offset) << num;
                EXPECT_LT(pdf.entries[num].offset, pdf.entries[3].offset) << num;
            }
            EXPECT_EQ(pdf.copies(num), 1u) << num;
        }
        expectReadableEverywhere(out, 1, std::string("Page 1 / 1"));
        if (*c.pageText) expectReadableEverywhere(out, 1, c.pageText);
        expectStampAtBottomLeft(out, 1, 306, 396);
        // No key is given twice: the run's entries take the place of null ones.
        const std::string before = withoutStrings(b.base().objects[3]);
        const std::string after = withoutStrings(pdf.object(3));
        for (const char* key : {"/Contents", "/Resources", "/Font", "/ExtGState"})
            EXPECT_LE(occurrences(after, key), std::max<size_t>(occurrences(before, key), 1))
                << key << " twice in " << pdf.object(3);
    }
}

TEST(PagePatching, InsertedReferencesKeepTheirSpacing) {
    const auto& [dir, in, out] = InOut(onePage("/Contents 4 0 R\n/Resources << >>").build());
    ASSERT_EQ(stamp(in, out), "");
    EXPECT_NE(readOutput(out).object(3).find("/Contents [ 10 0 R 4 0 R 11 0 R ]\n/Resources"),
              std::string::npos);
    testpdf::writeFile(in, onePage("/Contents [ 4 0 R 6 0 R ] /Resources << >>").build());
    ASSERT_EQ(stamp(in, out), "");
    EXPECT_NE(readOutput(out).object(3).find("/Contents [ 10 0 R  4 0 R 6 0 R  11 0 R ]"),
              std::string::npos);
}

// Ten pages, one indirect /Resources dictionary: each stamped page writes a fresh copy holding
// exactly one insertion of each name, and the table points at the last copy. A dictionary that
// the copy pass has already written before the first page is written once more per page.
TEST(PagePatching, SharedIndirectResourcesAreRewrittenForEveryPage) {
    for (const bool resourcesFirst : {false, true}) {
        SCOPED_TRACE(resourcesFirst ? "resources before the pages" : "resources after them");
        const int res = resourcesFirst ? 3 : 23, firstPage = resourcesFirst ? 4 : 3;
        PdfBuilder b;
        auto& objects = b.base().objects;
        std::string kids;
        for (int k = 0; k < 10; ++k) {
            kids += std::to_string(firstPage + k) + " 0 R ";
            objects[firstPage + k] =
                "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " +
                std::to_string(firstPage + 10 + k) + " 0 R /Resources " + std::to_string(res) +
                " 0 R >>";
            objects[firstPage + 10 + k] = streamBody("", "BT /F1 24 Tf 72 700 Td (Hello " +
                                                             std::to_string(k + 1) + ") Tj ET");
        }
        objects[1] = "<< /Type /Catalog /Pages 2 0 R >>";
        objects[2] = "<< /Type /Pages /Kids [ " + kids + "] /Count 10 >>";
        objects[res] = "<< /Font << /F1 24 0 R >> >>";
        objects[24] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
        const auto& [dir, in, out] = InOut(b.build());
        ASSERT_EQ(stamp(in, out), "");
        const OutputPdf pdf = readOutput(out);
        const std::string header = "\n" + std::to_string(res) + " 0 obj";
        EXPECT_EQ(pdf.copies(res), resourcesFirst ? 11u : 10u);
        EXPECT_EQ(static_cast<size_t>(pdf.entries[res].offset), pdf.bytes.rfind(header) + 1);
        const std::string last = squeeze(pdf.object(res));
        EXPECT_EQ(last.find("/F1 24 0 R"), last.rfind("/F1 24 0 R"));
        EXPECT_EQ(last.find("/Font << /F"), last.rfind("/Font << /F"));
        EXPECT_EQ(last.find("/ExtGState"), last.rfind("/ExtGState"));
        for (int k = 1; k <= 10; ++k) {
            SCOPED_TRACE(k);
            expectReadable(out, k, "Page " + std::to_string(k) + " / 10");
            expectReadable(out, k, "Hello " + std::to_string(k));
        }
    }
}

// A page shown turned: with noforce the stamp reads upright in the page's bottom left corner
// as displayed; without it the stamp is placed on the unturned page and so runs sideways.
TEST(PagePatching, RotatedPagesWithNoforceReadUpright) {
    for (const int rotation : {90, 180, 270, -90}) {
        SCOPED_TRACE(rotation);
        const auto& [dir, in, out] =
            InOut(onePage("/Rotate " + std::to_string(rotation) + " /Resources << >>").build());
        const bool sideways = rotation % 180 != 0;
        const int width = sideways ? 396 : 306, height = sideways ? 306 : 396;
        ASSERT_EQ(stamp(in, out, {{"noforce", 1}}), "");
        expectReadable(out, 1, "Page 1 / 1");
        expectStampAtBottomLeft(out, 1, width, height);

        ASSERT_EQ(stamp(in, out), "");
        const DarkBox forced = darkBox(out, 1);
        ASSERT_TRUE(forced.any());
        if (sideways)
            EXPECT_GT(forced.maxY - forced.minY, 3 * (forced.maxX - forced.minX));
        else // upside down in the top right corner
            EXPECT_LT(forced.maxY, 20);
    }
}

} // namespace

// Two pages drawing the same indirect /Contents array: each must still show its own number.
TEST(PagePatching, SharedIndirectContentsArrayKeepsEachPagesNumber) {
    PdfBuilder b = onePage("/Contents 7 0 R /Resources << /Font << /F1 5 0 R >> >>",
                           {{2, "<< /Type /Pages /Kids [3 0 R 8 0 R] /Count 2 >>"},
                            {7, "[4 0 R 6 0 R]"},
                            {8, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents "
                                "7 0 R /Resources << /Font << /F1 5 0 R >> >> >>"}});
    const auto& [dir, in, out] = stamptest::InOut(b.build());
    ASSERT_EQ(stamp(in, out), "");
    for (int k = 1; k <= 2; ++k) {
        SCOPED_TRACE(k);
        expectReadable(out, k, "Hello");
        expectReadable(out, k, "Page " + std::to_string(k) + " / 2");
        const std::string text = squeeze(testpdf::pdfText(out, k));
        EXPECT_EQ(text.find(" / 2"), text.rfind(" / 2")); // one stamp only
    }
    const OutputPdf pdf = readOutput(out);
    EXPECT_EQ(pdf.object(7), "7 0 obj\n[4 0 R 6 0 R]\nendobj");
}

namespace pagetree {
using namespace testpdf;

namespace {

struct TreeCase {
    const char* name;
    std::map<int, std::string> objects; // besides catalog 1 and an empty content stream 6
    std::vector<stamptest::Setting> settings;
    // The stamps' text matrices (angle and place), and how many pages the file shows.
    std::vector<std::string> matrices;
    int pages;
    bool damaged = false; // qpdf and MuPDF find fault with the input already
};

std::string page(const std::string& entries, int parent = 2) {
    return "<< /Type /Page /Parent " + std::to_string(parent) + " 0 R /Contents 6 0 R " + entries +
           " >>";
}

const std::string kUpright = "1.000000 0.000000 -0.000000 1.000000 ";

} // namespace

TEST(PageTree, PlacementFollowsTheBoxesAndRotationAViewerShows) {
    const std::string letterRoot = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
    const std::vector<TreeCase> cases = {
        {"boxes and rotation inherited, overridden on the way down",
         {{2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 400 300] "
              "/Rotate 180 >>"},
          {3, "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R] /Count 1 /Rotate 90 >>"},
          {4, page("")},
          {5, page("/CropBox [10 10 390 290]", 3)}},
         {{"noforce", 1}},
         // Page 1: its crop box, the middle node's quarter turn (X = x1 - posv, Y = y0 + posh).
         // Page 2: the root's media box turned half way (X = x1 - posh, Y = y1 - posv).
         {"380.000000 30.000000 Tm", "380.000000 290.000000 Tm"},
         2},
        {"a page whose text mentions /Pages",
         {{2, letterRoot},
          {3, page("/MediaBox [0 0 612 792] /PieceInfo << /App << /Private (see /Pages) >> >>")}},
         {},
         {kUpright + "20.000000 10.000000 Tm"},
         1},
        {"a crop box of a nested dictionary before the page's own",
         {{2, letterRoot},
          {3, page("/MediaBox [0 0 612 792] /BoxColorInfo << /CropBox << /C [1 0 0] /W 1 >> >> "
                   "/CropBox [100 100 500 700]")}},
         {},
         {"120.000000 110.000000 Tm"},
         1},
        {"centred in the crop box",
         {{2, letterRoot}, {3, page("/MediaBox [0 0 612 792] /CropBox [100 100 500 700]")}},
         {{"posh", -1}, {"posv", -1}, {"align", std::string("center")}},
         {"276.000000 400.000000 Tm"},
         1},
        {"an annotation's rotation is not the page's",
         {{2, letterRoot},
          {3, page("/MediaBox [0 0 612 792] /Annots [<< /Type /Annot /Subtype /Square /Rect [0 0 "
                   "9 9] /Rotate 90 >>]")}},
         {{"noforce", 1}},
         {kUpright + "20.000000 10.000000 Tm"},
         1},
        {"a crop box larger than the media box is clipped to it",
         {{2, letterRoot}, {3, page("/MediaBox [0 0 595 842] /CropBox [0 0 612 792]")}},
         {{"fliph", 1}, {"align", std::string("right")}},
         // The text ends 20 points from the right edge: it starts its width (49) before that.
         {"526.000000 10.000000 Tm"},
         1},
        {"indirect boxes",
         {{2, letterRoot},
          {3, page("/MediaBox 12 0 R /CropBox 13 0 R")},
          {12, "[0 0 739 613]"},
          {13, "[0 0 739 613]"}},
         {{"flipv", 1}},
         {"20.000000 603.000000 Tm"},
         1},
        {"an indirect media box inherited by landscape pages",
         {{2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 /MediaBox 12 0 R >>"},
          {3, page("")},
          {4, page("")},
          {5, page("")},
          {12, "[0 0 842 595]"}},
         {{"flipv", 1}},
         {"20.000000 585.000000 Tm"},
         3},
        {"corners given the other way round",
         {{2, letterRoot}, {3, page("/MediaBox [612 792 0 0] /CropBox [600 780 10 20]")}},
         {},
         {"30.000000 30.000000 Tm"},
         1},
        {"kids that are missing or no page at all are passed over",
         {{2, "<< /Type /Pages /Kids [3 0 R 99 0 R 8 0 R 9 0 R 10 0 R] /Count 2 >>"},
          {3, page("/MediaBox [0 0 612 792]")},
          {9, "42"},
          {10, page("/MediaBox [0 0 612 792]")}},
         {},
         {kUpright + "20.000000 10.000000 Tm"},
         2,
         true},
    };
    for (const TreeCase& c : cases) {
        SCOPED_TRACE(c.name);
        PdfBuilder b;
        b.base().objects = c.objects;
        b.base().objects[1] = "<< /Type /Catalog /Pages 2 0 R >>";
        b.base().objects[6] = streamBody("", "");
        const auto& [dir, in, out] = stamptest::InOut(b.build());
        ASSERT_EQ(stamptest::stamp(in, out, c.settings), "");
        const std::string output = readFile(out);
        for (const std::string& m : c.matrices)
            EXPECT_NE(output.find(m), std::string::npos) << m;
        for (int k = 1; k <= c.pages; ++k) {
            const std::string text = "Page " + std::to_string(k) + " / " + std::to_string(c.pages);
            // Readers disagree on a damaged tree (MuPDF counts a missing kid as a page).
            if (c.damaged)
                stamptest::expectReadable(out, k, text, true);
            else
                stamptest::expectReadableEverywhere(out, k, text);
        }
    }
}

TEST(PageTree, SkippedKidsAreListed) {
    PdfBuilder b;
    b.base().objects = {{1, "<< /Type /Catalog /Pages 2 0 R >>"},
                        {2, "<< /Type /Pages /Kids [3 0 R 99 0 R 8 0 R 9 0 R] /Count 3 >>"},
                        {3, page("")},
                        {6, streamBody("", "")},
                        {9, "(a string)"}};
    auto doc = readertest::openBytes(b.build());
    tavrix::PageList pages;
    pages.build(doc->xref(), tavrix::readRawObject(doc->xref(), 1).bytes());
    EXPECT_EQ(pages.slots().size(), 1u);
    EXPECT_EQ(pages.skippedKids(), (std::vector<int32_t>{99, 8, 9}));
}

} // namespace pagetree
