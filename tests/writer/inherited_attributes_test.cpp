// Boxes and rotation that a page inherits from the page tree place its stamp as a viewer
// shows the page.
#include <gtest/gtest.h>

#include "engine/service/tavrix_com.hpp"
#include "support/pdf_builder.hpp"
#include "support/test_files.hpp"
#include "tavrix/members.hpp"

using namespace testpdf;

TEST(InheritedAttributes, PageTakesBoxAndRotationFromTheNodesAbove) {
    PdfBuilder b;
    Revision& r = b.base();
    r.objects[1] = "<< /Type /Catalog /Pages 2 0 R >>";
    // The root gives the media box and the rotation; the middle node overrides the rotation.
    r.objects[2] = "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 400 300] "
                   "/Rotate 180 >>";
    r.objects[3] = "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R] /Count 1 /Rotate 90 >>";
    r.objects[4] = "<< /Type /Page /Parent 2 0 R /Contents 6 0 R >>";
    r.objects[5] = "<< /Type /Page /Parent 3 0 R /Contents 6 0 R /CropBox [10 10 390 290] >>";
    r.objects[6] = streamBody("", "");
    TempDir dir;
    const std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
    writeFile(in, b.build());
    tavrix::TavrixCom engine;
    engine.putLong(tavrix::findProperty("noforce")->dispid, 1);
    ASSERT_EQ(engine.getTavrixFile(in, out, ""), "");
    const std::string output = readFile(out);
    // Page 1 (object 5): its own crop box, the middle node's quarter turn: X = x1 - posv,
    // Y = y0 + posh.
    EXPECT_NE(output.find("380.000000 30.000000 Tm"), std::string::npos);
    // Page 2 (object 4): the root's media box, turned half way: X = x1 - posh, Y = y1 - posv.
    EXPECT_NE(output.find("380.000000 290.000000 Tm"), std::string::npos);
    std::string report;
    EXPECT_TRUE(qpdfCheck(out, false, &report)) << report;
    EXPECT_NE(pdfText(out, 1).find("Page 1 / 2"), std::string::npos);
    EXPECT_NE(pdfText(out, 2).find("Page 2 / 2"), std::string::npos);
}
