// What the reader passes over in a damaged file leaves a note: kept with the run, printed by a
// verbose call on standard error, and never a change of what standard output says.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/service/stamp_job.hpp"
#include "support/pdf_builder.hpp"
#include "support/test_files.hpp"
#include "writer/stamp_run.hpp"

using namespace testpdf;

namespace {

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines)
        out += l + "\n";
    return out;
}

} // namespace

TEST(ToleratedDamage, EachKindLeavesANoteAndTheRunStillSucceeds) {
    struct Case {
        const char* name;
        bool objectStreams;
        void (*damage)(PdfBuilder&);
        void (*afterwards)(std::string& bytes); // damage to the finished file, or null
        const char* note;
    };
    const Case cases[] = {
        {"stream Length a few bytes short", false,
         [](PdfBuilder& b) {
             std::string& body = b.base().objects[5];
             const size_t at = body.find("/Length ") + 8;
             const size_t end = body.find(' ', at);
             body.replace(at, end - at, std::to_string(std::stoi(body.substr(at)) - 4));
         },
         nullptr, "does not end at 'endstream'"},
        {"reference to an object the file lacks", false,
         [](PdfBuilder& b) {
             std::string& page = b.base().objects[3];
             page.replace(page.find("/Resources"), 10, "/Resources 999 0 R /Unused");
         },
         nullptr, "object 999: a reference names an object the file does not have"},
        {"page-tree kid that is not there", false,
         [](PdfBuilder& b) {
             b.base().objects[2] = "<< /Type /Pages /Kids [ 3 0 R 4 0 R 99 0 R ] /Count 2 >>";
         },
         nullptr, "object 99: a page-tree kid that is no page or node is passed over"},
        {"dictionary key without a value", false,
         [](PdfBuilder& b) { b.base().objects[3].insert(3, "/Odd ) "); }, nullptr,
         "the dictionary key /Odd has no usable value"},
        {"damaged compressed data", true, [](PdfBuilder&) {},
         [](std::string& bytes) {
             const size_t data = bytes.find("stream", bytes.find("/Type /ObjStm")) + 7;
             for (size_t k = 8; k < 16; ++k)
                 bytes[data + k] = static_cast<char>(bytes[data + k] ^ 0x5A);
         },
         "compressed stream data is damaged"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PdfBuilder b = simpleDocument(2, c.objectStreams ? XrefKind::Stream : XrefKind::Table,
                                      c.objectStreams);
        c.damage(b);
        std::string bytes = b.build();
        if (c.afterwards) c.afterwards(bytes);
        const std::string in = dir.file("in.pdf");
        writeFile(in, bytes);
        // A file damaged past stamping still says what was passed over before it gave up.
        const std::string notes = joined(stamptest::runJob(in, dir.file("out.pdf")).notes);
        EXPECT_NE(notes.find(c.note), std::string::npos) << notes;
    }
}

TEST(ToleratedDamage, VerboseRunsPrintTheNotesOnStandardErrorOnly) {
    TempDir dir;
    PdfBuilder b = simpleDocument(2);
    std::string& page = b.base().objects[3];
    page.replace(page.find("/Resources"), 10, "/Resources 999 0 R /Unused");
    const std::string in = dir.file("in.pdf");
    writeFile(in, b.build());
    const CommandResult plain = runTavrix({in, dir.file("a.pdf")});
    const CommandResult verbose = runTavrix({"--verbose", in, dir.file("b.pdf")});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    ASSERT_EQ(verbose.exitCode, 0) << verbose.err;
    EXPECT_EQ(plain.err, "");
    EXPECT_EQ(verbose.out, std::string(plain.out).replace(plain.out.find("a.pdf"), 5, "b.pdf"));
    EXPECT_NE(verbose.err.find("tavrix: warning: '" + in +
                               "': object 999: a reference names an object the file does not "
                               "have; read as null\n"),
              std::string::npos)
        << verbose.err;
}

// A file damaged everywhere cannot grow the notes without bound: past 200 only a count is kept.
TEST(ToleratedDamage, NotesStopAtTwoHundredAndCountTheRest) {
    TempDir dir;
    PdfBuilder b = simpleDocument(2);
    std::string kids = "3 0 R 4 0 R ";
    for (int k = 1000; k < 1300; ++k)
        kids += std::to_string(k) + " 0 R ";
    b.base().objects[2] = "<< /Type /Pages /Kids [ " + kids + "] /Count 2 >>";
    writeFile(dir.file("in.pdf"), b.build());
    const stamptest::JobOutcome r = stamptest::runJob(dir.file("in.pdf"), dir.file("out.pdf"));
    ASSERT_TRUE(r.ok) << r.reason;
    ASSERT_EQ(r.notes.size(), 201u);
    EXPECT_TRUE(r.notes.back().ends_with(" more notes left out")) << r.notes.back();
}
