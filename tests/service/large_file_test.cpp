// Files past 2 GiB: objects at ten-digit offsets are read and written in both layouts, and a
// file past what ten digits address is refused with the reason. The big streams are holes in
// the inputs and stay holes in the outputs, so the tests take next to no disk.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>

#include "engine/pdf/pdf_exception.hpp"
#include "engine/service/stamp_job.hpp"
#include "support/pdf_builder.hpp"
#include "support/test_files.hpp"
#include "writer/stamp_run.hpp"

using namespace testpdf;

namespace {

constexpr int64_t kImageBytes = int64_t{1200} << 20; // two of them pass 2 GiB

// Catalog 1, two page-sized images 2 and 3 (holes), the tree 4, pages 5 and 6 drawing them with
// their text in 7 and 8, the font 9: the pages and everything after them lie past 2 GiB.
PdfBuilder documentPast2GiB() {
    PdfBuilder b;
    Revision& r = b.base();
    r.objects[1] = "<< /Type /Catalog /Pages 4 0 R >>";
    for (int image : {2, 3}) {
        r.objects[image] = "/Type /XObject /Subtype /Image /Width " +
                           std::to_string(kImageBytes / 1024) +
                           " /Height 1024 /ColorSpace /DeviceGray /BitsPerComponent 8";
        r.holes[image] = kImageBytes;
    }
    r.objects[4] = "<< /Type /Pages /Kids [ 5 0 R 6 0 R ] /Count 2 >>";
    for (int k = 0; k < 2; ++k) {
        r.objects[5 + k] = "<< /Type /Page /Parent 4 0 R /MediaBox [0 0 612 792] /Contents " +
                           std::to_string(7 + k) + " 0 R /Resources << /Font << /F1 9 0 R >> " +
                           "/XObject << /Im0 " + std::to_string(2 + k) + " 0 R >> >> >>";
        r.objects[7 + k] =
            streamBody("", "BT /F1 24 Tf 72 700 Td (Hello " + std::to_string(k + 1) + ") Tj ET");
    }
    r.objects[9] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
    return b;
}

// Offsets of the objects the newest cross-reference data lists, as qpdf reads them.
std::map<int, int64_t> qpdfOffsets(const std::string& path) {
    const CommandResult r = runCommand({"qpdf", "--show-xref", path});
    std::map<int, int64_t> offsets;
    const std::regex line(R"((\d+)/\d+: uncompressed; offset = (\d+))");
    for (auto it = std::sregex_iterator(r.out.begin(), r.out.end(), line);
         it != std::sregex_iterator(); ++it)
        offsets[std::stoi((*it)[1])] = std::stoll((*it)[2]);
    return offsets;
}

int64_t diskBytes(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_blocks) * 512 : -1;
}

} // namespace

TEST(LargeFile, ObjectsPast2GiBAreStampedInBothLayouts) {
    TempDir dir;
    const std::string in = dir.file("in.pdf");
    PdfBuilder b = documentPast2GiB();
    b.writeTo(in);
    ASSERT_GT(b.offsets[6], int64_t{1} << 31);
    for (const bool incremental : {false, true}) {
        SCOPED_TRACE(incremental ? "incremental" : "rewrite");
        const std::string out = dir.file(incremental ? "update.pdf" : "rewrite.pdf");
        const stamptest::JobOutcome r =
            stamptest::runJob(in, out, incremental ? "incremental=1" : "");
        ASSERT_TRUE(r.ok) << r.reason;
        EXPECT_TRUE(r.notes.empty()) << r.notes.front();
        // The holes came through as holes: the output takes a few blocks, not gigabytes.
        EXPECT_LT(diskBytes(out), int64_t{16} << 20);
        const std::map<int, int64_t> offsets = qpdfOffsets(out);
        ASSERT_TRUE(offsets.count(6));
        EXPECT_GT(offsets.at(6), int64_t{1} << 31);
        for (const auto& [num, offset] : offsets) {
            const std::string head = readRange(out, offset, 16);
            EXPECT_EQ(head.rfind(std::to_string(num) + " 0 obj", 0), 0u) << num << ": " << head;
        }
        EXPECT_NE(pdfText(out, 2).find("Page 2 / 2"), std::string::npos) << pdfText(out, 2);
        EXPECT_NE(pdfText(out, 2).find("Hello 2"), std::string::npos);
        EXPECT_EQ(pageCount(out), 2);
        ::unlink(out.c_str());
    }
}

TEST(LargeFile, PastTenDigitsIsRefusedWithTheReason) {
    TempDir dir;
    const std::string in = dir.file("in.pdf");
    writeFile(in, simpleDocument(1).build());
    ASSERT_EQ(::truncate(in.c_str(), 10'000'000'000), 0);
    const stamptest::JobOutcome r = stamptest::runJob(in, dir.file("out.pdf"));
    EXPECT_EQ(r.message, "Stamp file issue\r\n");
    EXPECT_NE(r.reason.find("'" + in + "' has 10000000000 bytes, more than the 9999999999"),
              std::string::npos)
        << r.reason;
    EXPECT_FALSE(fileExists(dir.file("out.pdf")));
}
