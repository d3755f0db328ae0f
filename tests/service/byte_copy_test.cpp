// Objects are copied byte for byte: stream data is never trimmed, re-encoded or re-terminated,
// whatever bytes it ends in.
#include <gtest/gtest.h>

#include "engine/service/tavrix_com.hpp"
#include "support/pdf_builder.hpp"
#include "support/test_files.hpp"

using namespace testpdf;

TEST(ByteCopy, FlateStreamEndingInCarriageReturnKeepsItsLastByte) {
    // Find content whose compressed form ends in CR, the byte a careless copy drops as a line end.
    std::string content, packed;
    // The last byte is the low byte of the data's running sum: a trailing comment of two
    // bytes from 0x20 to 0xFF reaches every value.
    for (int a = 0x20; a <= 0xFF && (packed.empty() || packed.back() != '\r'); ++a) {
        for (int c = 0x20; c <= 0xFF; ++c) {
            content = std::string("BT /F1 24 Tf 72 700 Td (Hello) Tj ET\n%") +
                      static_cast<char>(a) + static_cast<char>(c);
            packed = deflate(content);
            if (packed.back() == '\r') break;
        }
    }
    ASSERT_EQ(packed.back(), '\r');
    PdfBuilder b = simpleDocument(1);
    b.base().objects[4] = streamBody("/Filter /FlateDecode", packed);
    TempDir dir;
    const std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
    writeFile(in, b.build());
    ASSERT_EQ(tavrix::TavrixCom().getTavrixFile(in, out, ""), "");

    const std::string object = "4 0 obj\n" + b.base().objects[4] + "\nendobj\n";
    EXPECT_NE(readFile(out).find(object), std::string::npos);
    std::string report;
    EXPECT_TRUE(qpdfCheck(out, false, &report)) << report;
    EXPECT_NE(pdfText(out).find("Hello"), std::string::npos);
    EXPECT_NE(pdfText(out).find("Page 1 / 1"), std::string::npos);
}

TEST(ByteCopy, StreamDataContainingEndobjIsCopiedWhole) {
    // An embedded file (or any uncompressed data) may itself contain "endobj".
    const std::string data = "1 0 obj\n<< >>\nendobj\n% the rest must survive\n";
    PdfBuilder b = simpleDocument(1);
    b.base().objects[20] = streamBody("/Type /EmbeddedFile", data);
    b.base().objects[1] = "<< /Type /Catalog /Pages 2 0 R /Extra 20 0 R >>";
    TempDir dir;
    const std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
    writeFile(in, b.build());
    ASSERT_EQ(tavrix::TavrixCom().getTavrixFile(in, out, ""), "");
    EXPECT_NE(readFile(out).find("20 0 obj\n" + b.base().objects[20] + "\nendobj\n"),
              std::string::npos);
    std::string report;
    EXPECT_TRUE(qpdfCheck(out, false, &report)) << report;
}
