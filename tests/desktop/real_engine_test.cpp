// Apply Text through the automation runtime against the real engine library, registered in a
// private registry file.
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

#include "desktop/model/automation_runtime.hpp"
#include "desktop/model/engine_client.hpp"
#include "fakes.hpp"
#include "support/pdf_builder.hpp"
#include "support/test_files.hpp"
#include "tavrixrt/runtime.hpp"

namespace folvane {
namespace {

namespace fs = std::filesystem;

class RealEngineTest : public ::testing::Test {
  protected:
    void SetUp() override { ::setenv("TAVRIX_REGISTRY", dir_.file("registry").c_str(), 1); }
    void TearDown() override { ::unsetenv("TAVRIX_REGISTRY"); }
    void registerEngine() {
        if (!fs::exists(FOLVANE_ENGINE_LIBRARY)) GTEST_SKIP() << "engine library not built";
        ASSERT_EQ(RegisterServerLibrary(FOLVANE_ENGINE_LIBRARY), S_OK);
    }
    std::string path(const std::string& name) const { return dir_.file(name); }

    testing::FakePlatform platform;
    AutomationRuntime runtime;
    TokenExpander expander = testing::fixedExpander();
    testpdf::TempDir dir_;
};

TEST_F(RealEngineTest, StampsAFileAndSaysDone) {
    registerEngine();
    testpdf::writeFile(path("in.pdf"), testpdf::emptyPages(2));
    EngineClient client(runtime, platform, expander, std::make_unique<InlineWorker>());
    ASSERT_TRUE(client.open());
    ASSERT_TRUE(client.hasEngine());

    PageParameters p;
    p.inputPath = path("in.pdf");
    p.outputPath = path("out.pdf");
    p.prefixText = "[FILETITLE] ";
    p.endText = " ([YYYY])";
    p.fontSize = 11.99;
    p.shown.vertical = -0.5;
    client.applyText(p);
    ASSERT_EQ(platform.texts(),
              std::vector<std::string>{"Done!\n\nOutput file: " + p.outputPath + "\n\n"});
    EXPECT_TRUE(testpdf::qpdfCheck(p.outputPath));
    const std::string text = testpdf::runCommand({"pdftotext", "-layout", p.outputPath, "-"}).out;
    EXPECT_NE(text.find("in 1 / 2 (2026)"), std::string::npos) << text;
    EXPECT_NE(text.find("in 2 / 2 (2026)"), std::string::npos) << text;

    // Settings stay in the instance; a second run with other texts uses them.
    platform.messages.clear();
    p.outputPath = path("second.pdf");
    p.prefixText = "Sheet ";
    p.endText.clear();
    p.onePageNumberOnly = true;
    p.separatorText.clear();
    client.applyText(p);
    const std::string second = testpdf::pdfText(p.outputPath);
    EXPECT_NE(second.find("Sheet 2"), std::string::npos) << second;
    EXPECT_EQ(second.find("/ 2"), std::string::npos) << second;
}

TEST_F(RealEngineTest, EngineFailureIsShownWithTheEnginesReason) {
    registerEngine();
    EngineClient client(runtime, platform, expander, std::make_unique<InlineWorker>());
    ASSERT_TRUE(client.open());
    PageParameters p;
    p.inputPath = path("missing.pdf");
    p.outputPath = path("out.pdf");
    client.applyText(p);
    EXPECT_EQ(
        platform.texts(),
        std::vector<std::string>{"Stamping failed.\n\ncannot open '" + p.inputPath +
                                 "': No such file or directory\n\nOutput file: " + p.outputPath});
    EXPECT_EQ(platform.messages[0].tone, Tone::Error);
    EXPECT_FALSE(fs::exists(p.outputPath));
}

TEST_F(RealEngineTest, UnregisteredEngineIsReportedWithTheSystemText) {
    EngineClient client(runtime, platform, expander, std::make_unique<InlineWorker>());
    EXPECT_FALSE(client.open());
    EXPECT_EQ(
        platform.texts(),
        std::vector<std::string>{"The stamping engine is not registered. Run: tavrix --register"});
}

} // namespace
} // namespace folvane
