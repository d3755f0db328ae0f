// The page tree as a viewer reads it: which objects are pages, and the box and rotation each
// page is shown with (its own or inherited, stored in place or in an object of its own). The
// stamp lands where the expected text matrix says and reads in both poppler and MuPDF.
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
    TempDir dir;
    for (const TreeCase& c : cases) {
        SCOPED_TRACE(c.name);
        PdfBuilder b;
        b.base().objects = c.objects;
        b.base().objects[1] = "<< /Type /Catalog /Pages 2 0 R >>";
        b.base().objects[6] = streamBody("", "");
        const std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
        writeFile(in, b.build());
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
