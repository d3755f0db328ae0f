// The test files themselves must be valid PDF, or every other test proves little.
#include <gtest/gtest.h>

#include "support/pdf_builder.hpp"
#include "support/test_files.hpp"

using namespace testpdf;

TEST(PdfBuilder, EveryKindOfFileIsValidForQpdf) {
    TempDir dir;
    struct Case {
        const char* name;
        PdfBuilder builder;
    };
    std::vector<Case> cases;
    cases.push_back({"table", simpleDocument(3)});
    cases.push_back({"stream", simpleDocument(3, XrefKind::Stream)});
    cases.push_back({"objstm", simpleDocument(3, XrefKind::Stream, true)});
    cases.push_back({"hybrid", simpleDocument(3, XrefKind::Hybrid, true)});
    PdfBuilder predicted = simpleDocument(2, XrefKind::Stream, true);
    predicted.base().predictor = true;
    cases.push_back({"predictor", predicted});
    PdfBuilder updated = simpleDocument(2);
    updated.addRevision().objects[3] =
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 5 0 R >>";
    cases.push_back({"update", updated});
    PdfBuilder junk = simpleDocument(1);
    junk.junkBeforeHeader = "JUNK JUNK\n";
    cases.push_back({"junk", junk});
    for (auto& c : cases) {
        const std::string path = dir.file(std::string(c.name) + ".pdf");
        writeFile(path, c.builder.build());
        std::string report;
        EXPECT_TRUE(qpdfCheck(path, c.builder.junkBeforeHeader.size() > 0, &report))
            << c.name << "\n"
            << report;
    }
}
