// Objects are copied byte for byte: stream data is never trimmed, re-encoded or re-terminated,
// whatever bytes it ends in.
#include <gtest/gtest.h>

#include <random>

#include "engine/service/tavrix_com.hpp"
#include "support/pdf_builder.hpp"
#include "support/test_files.hpp"

using namespace testpdf;

// Stream data ending in CR (the byte a careless copy drops as a line end) or spelling "endobj"
// is copied whole. Objects of 16 KiB and more are read from the file straight into the output
// instead of through the mapping: the bytes written must be the same at every size around that
// threshold, for streams, large plain objects and object stream members.
TEST(ByteCopy, ObjectsAreCopiedByteForByte) {
    // Compressed data whose last byte is CR: that byte is the low byte of the data's running
    // sum, which a trailing comment of two bytes from 0x20 to 0xFF sets to every value.
    std::string packed;
    for (int a = 0x20; a <= 0xFF && (packed.empty() || packed.back() != '\r'); ++a) {
        for (int c = 0x20; c <= 0xFF; ++c) {
            packed = deflate(std::string("BT ET\n%") + static_cast<char>(a) + static_cast<char>(c));
            if (packed.back() == '\r') break;
        }
    }
    ASSERT_EQ(packed.back(), '\r');
    std::mt19937 random(16384);
    const auto data = [&](size_t size) {
        std::string bytes(size, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random() & 0xFF);
        bytes.replace(size / 3, 24, "endobj endstream 9 0 obj");
        return bytes;
    };
    // A stream whose object text ("20 0 obj" through the line end after "endobj") is `size`.
    const auto streamOfTextSize = [&](size_t size) {
        for (size_t d = size;; --d) {
            const std::string body = streamBody("", data(d));
            if (body.size() + 17 == size) return body;
        }
    };
    std::string array = "[";
    while (array.size() < 40000)
        array += std::to_string(array.size()) + " (endobj) ";
    array += "]";
    const struct {
        const char* name;
        std::string body;
        bool compressed;
    } cases[] = {
        {"compressed data ending in CR", streamBody("/Filter /FlateDecode", packed), false},
        {"data spelling a whole object",
         streamBody("/Type /EmbeddedFile", "1 0 obj\n<< >>\nendobj\n% the rest must survive\n"),
         false},
        {"stream just under", streamOfTextSize(16383), false},
        {"stream at the threshold", streamOfTextSize(16384), false},
        {"stream just over", streamOfTextSize(16385), false},
        {"large stream", streamBody("/Type /EmbeddedFile", data(300000)), false},
        {"large array", array, false},
        {"large array in an object stream", array, true},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PdfBuilder b = simpleDocument(1, c.compressed ? XrefKind::Stream : XrefKind::Table);
        b.base().objects[20] = c.body;
        if (c.compressed) b.base().compressed.insert(20);
        b.base().objects[1] = "<< /Type /Catalog /Pages 2 0 R /Extra 20 0 R >>";
        const std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
        writeFile(in, b.build());
        ASSERT_EQ(tavrix::TavrixCom().getTavrixFile(in, out, ""), "");
        const std::string text =
            "20 0 obj\n" + c.body + (c.compressed ? "\nendobj\r" : "\nendobj\n");
        EXPECT_NE(readFile(out).find(text), std::string::npos);
        std::string report;
        EXPECT_TRUE(qpdfCheck(out, false, &report)) << report;
        EXPECT_NE(pdfText(out).find("Page 1 / 1"), std::string::npos);
    }
}
