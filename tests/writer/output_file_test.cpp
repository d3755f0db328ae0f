// The shape of an output file: header copy, the run's new objects and their numbers, the one
// cross-reference section and the trailer; and which page gets which number from the tree.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "engine/fonts/font_objects.hpp"
#include "support/pdf_builder.hpp"
#include "support/test_files.hpp"
#include "writer/stamp_run.hpp"

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
        testpdf::TempDir dir;
        const std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
        const std::string input = b.build();
        testpdf::writeFile(in, input);
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
        EXPECT_NE(pdf.object(n + 1).find("/FontDescriptor " + std::to_string(n) +
                                         " 0 R\n"
                                         "/FirstChar 0\n/LastChar 255\n/Widths [\n" +
                                         [] {
                                             std::string line;
                                             for (int i = 0; i < 16; ++i)
                                                 line += "750 ";
                                             return line;
                                         }() +
                                         "\n"),
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
        testpdf::TempDir dir;
        const std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
        testpdf::writeFile(in, b.build());
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
    testpdf::TempDir dir;
    const std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
    testpdf::writeFile(in, b.build());
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
    testpdf::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PdfBuilder b = testpdf::simpleDocument(3);
        for (const auto& [num, body] : c.tree)
            b.base().objects[num] = body;
        const int n = b.base().objects.rbegin()->first + 1;
        const std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
        const std::string input = b.build();
        testpdf::writeFile(in, input);
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
