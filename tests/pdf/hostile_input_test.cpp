// Input made to exhaust the reader: deep nesting, huge counts, self-referencing objects. Each
// must end quickly with a value or a refusal, and a whole run on it must fail or succeed cleanly.
// Every file under tests/pdf/regressions (inputs that once crashed or hung) is replayed too.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine/pdf/raw_object.hpp"
#include "engine/service/tavrix_com.hpp"
#include "pdf/reader_fixtures.hpp"
#include "support/pdf_builder.hpp"

using namespace tavrix;
using readertest::be;
using readertest::FileText;
using readertest::openBytes;
using readertest::openError;

namespace {

const std::string kCatalog = "<< /Type /Catalog /Pages 2 0 R >>";

// Opens `bytes`, fetches and reads every object as a run would, and then runs the engine on
// them: a failed run must leave no output behind.
void readEverything(const std::string& bytes, const std::string& label) {
    try {
        auto doc = openBytes(bytes);
        XrefTable& xref = doc->xref();
        for (size_t num = 0; num < xref.entries().size() && num < 100000; ++num) {
            const XrefEntry e = xref.entries()[num];
            try {
                const PdfObject obj = xref.fetchObject(static_cast<int32_t>(num),
                                                       e.type == XrefType::InUse ? e.gen : 0);
                if (obj.isStream()) readertest::readAll(*obj.getStream());
                readRawObject(xref, static_cast<int32_t>(num));
            } catch (const CPdfException&) {
            }
        }
    } catch (const CPdfException&) {
    }
    testpdf::TempDir dir;
    const std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
    testpdf::writeFile(in, bytes);
    const std::string result = TavrixCom().getTavrixFile(in, out, "");
    if (!result.empty()) {
        EXPECT_FALSE(testpdf::fileExists(out)) << label << ": " << result;
    }
}

std::string xrefStreamFile(const std::string& keys, const std::string& rows) {
    FileText f;
    f.object(1, kCatalog);
    const int64_t at = f.object(2, testpdf::streamBody(keys + " /Root 1 0 R", rows));
    f.startxref(at);
    return f.bytes();
}

} // namespace

TEST(HostileInput, HugeCountsAreRefusedWithoutAllocating) {
    const std::string row = be(1, 1) + be(9, 2) + be(0, 1);
    const std::string cases[] = {
        xrefStreamFile("/Size 2147483647 /W [1 2 1]", row),
        xrefStreamFile("/Size 1 /W [1 2 1] /Index [0 2000000000]", row),
        xrefStreamFile("/Size 1 /W [1 2 1] /Index [2147483647 1]", row),
        xrefStreamFile("/Size -1 /W [1 2 1]", row),
        xrefStreamFile("/Size 1 /W [1 2 1] /Index [-5 1]", row),
        FileText().bytes() + "xref\n0 2147483647\n0000000000 65535 f\ntrailer << /Root 1 0 R >>\n"
                             "startxref\n9\n%%EOF\n",
    };
    for (const std::string& bytes : cases) {
        EXPECT_NE(openError(bytes), "") << bytes.substr(0, 80);
        readEverything(bytes, "huge count");
    }
}

TEST(HostileInput, ZeroWidthRowsWithLargeIndexAreRefused) {
    // Without a refusal this would visit ten million entries for each of 200 pairs.
    std::string index;
    for (int i = 0; i < 200; ++i)
        index += "0 9999999 ";
    EXPECT_EQ(openError(xrefStreamFile("/Size 100 /W [0 0 0] /Index [" + index + "]", "")),
              "W item of xref Stream is wrong type");
}

TEST(HostileInput, DeepNestingEndsAtTheDepthLimit) {
    FileText f;
    f.object(1, kCatalog);
    f.object(2, std::string(200000, '[') + std::string(200000, ']'));
    f.object(3, std::string(50000, '<') + "/K" + std::string(50000, '>'));
    f.object(4, "<< /A " + std::string(100000, '[') + " >>");
    f.startxref(f.table(5, "/Root 1 0 R"));
    const std::string bytes = f.bytes();
    auto doc = openBytes(bytes);
    EXPECT_TRUE(doc->xref().fetchObject(2, 0).isArray());
    EXPECT_TRUE(doc->xref().fetchObject(3, 0).isDict());
    EXPECT_TRUE(doc->xref().fetchObject(4, 0).isDict());
    EXPECT_EQ(readRawObject(doc->xref(), 2).bytes().size(), 400000u + 16);
    readEverything(bytes, "deep nesting");
}

// Each stream's Length names the next stream: every link is a fetch within a fetch. The reader
// follows 32 of them and reads the 33rd as null, with a note.
TEST(HostileInput, LengthChainEndsAtTheFetchDepthLimit) {
    auto deepestNote = [](int streams) {
        FileText f;
        f.object(1, kCatalog);
        for (int k = 2; k < 2 + streams; ++k)
            f.object(k, "<< /Length " + std::to_string(k + 1) + " 0 R >>\nstream\nab\nendstream");
        f.object(2 + streams, "2");
        f.startxref(f.table(3 + streams, "/Root 1 0 R"));
        auto doc = openBytes(f.bytes());
        doc->xref().fetchObject(2, 0);
        for (const auto& d : doc->xref().diagnostics().items())
            if (d.message.find("nested too deep") != std::string::npos) return d.object;
        return -1;
    };
    EXPECT_EQ(deepestNote(31), -1);
    EXPECT_EQ(deepestNote(32), 34);
}

TEST(HostileInput, SelfReferencingLengthGivesErrorAndRawTextStillCopies) {
    FileText f;
    f.object(1, kCatalog);
    const std::string body = "<< /Length 2 0 R >>\nstream\nabc\nendstream";
    f.object(2, body);
    f.startxref(f.table(3, "/Root 1 0 R"));
    auto doc = openBytes(f.bytes());
    EXPECT_TRUE(doc->xref().fetchObject(2, 0).isError());
    EXPECT_EQ(readRawObject(doc->xref(), 2).bytes(), "2 0 obj\n" + body + "\nendobj\n");
    readEverything(f.bytes(), "self length");
}

TEST(HostileInput, LengthChainThroughNestedContainersStaysWithinTheStack) {
    // Each object nests a stream as deep as the parser allows, and its Length names the next
    // object of the same form: every fetch level stacks a full nesting of parse calls.
    FileText f;
    f.object(1, kCatalog);
    const int last = 80;
    for (int num = 2; num <= last; ++num)
        f.object(num, std::string(255, '[') + "<< /Length " + std::to_string(num + 1) +
                          " 0 R >>\nstream\nx\nendstream" + std::string(255, ']'));
    f.object(last + 1, "1");
    f.startxref(f.table(last + 2, "/Root 1 0 R"));
    auto doc = openBytes(f.bytes());
    EXPECT_TRUE(doc->xref().fetchObject(2, 0).isArray());
    readEverything(f.bytes(), "length chain");
}

TEST(HostileInput, RecordedRegressionsRunCleanly) {
    const std::filesystem::path folder =
        std::filesystem::path(TAVRIX_SOURCE_DIR) / "tests" / "pdf" / "regressions";
    std::vector<std::filesystem::path> files;
    if (std::filesystem::exists(folder))
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.is_regular_file() && entry.path().filename() != "README.md")
                files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const auto& path : files)
        readEverything(testpdf::readFile(path.string()), path.filename());
}

TEST(HostileInput, TableFarLargerThanTheFileIsRefusedBeforeAllocating) {
    // Two million entries from a few hundred bytes: more objects than the file could hold.
    EXPECT_EQ(openError(xrefStreamFile("/Size 2000000 /W [1 2 1]", "")),
              "Couldn't parse an xref stream");
}
