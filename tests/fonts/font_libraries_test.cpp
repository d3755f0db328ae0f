// The text libraries are loaded when a stamp first needs them: a run whose texts Windows-1252
// holds never loads them, and one that needs them fails with what to install when they cannot
// be loaded.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/fonts/font_libraries.hpp"
#include "engine/pdf/pdf_exception.hpp"
#include "support/test_files.hpp"

using namespace testpdf;

namespace {

const std::string kSample = TAVRIX_SOURCE_DIR "/samples/sample.pdf";
const std::string kFontsConf = "FONTCONFIG_FILE=" TAVRIX_SOURCE_DIR "/tests/fonts/fonts.conf";

// A file that is missing, and one that loads but is some other library.
TEST(FontLibraries, AFileMissingOrWithoutAFunctionIsNamedWithThePackageToInstall) {
    struct Case {
        tavrix::FontLibrary library;
        const char* file;
        std::vector<std::string> reasonHas;
    };
    const Case cases[] = {
        {tavrix::kHarfBuzz,
         "libharfbuzz-missing.so.0",
         {"cannot load libharfbuzz-missing.so.0 (HarfBuzz", "install the package libharfbuzz0b"}},
        {tavrix::kHarfBuzzSubset,
         "libharfbuzz-subset-missing.so.0",
         {"libharfbuzz-subset-missing.so.0", "install the package libharfbuzz-subset0"}},
        {tavrix::kFreeType,
         "libfreetype-missing.so.6",
         {"libfreetype-missing.so.6", "install the package libfreetype6"}},
        {tavrix::kFribidi,
         "libz.so.1",
         {"has no function fribidi_get_bidi_types",
          "install a newer version of the package libfribidi0"}},
        {tavrix::kFontconfig,
         "libz.so.1",
         {"has no function FcInitBringUptoDate",
          "install a newer version of the package libfontconfig1"}},
    };
    for (const Case& c : cases) {
        tavrix::FontLibraryFiles files = tavrix::fontLibraryFiles();
        files[c.library].soname = c.file;
        try {
            tavrix::loadFontLibraries(files);
            ADD_FAILURE() << c.file << " loaded";
        } catch (const tavrix::CPdfException& e) {
            EXPECT_STREQ(e.getMessage(), "Can't load font library");
            for (const std::string& part : c.reasonHas)
                EXPECT_NE(e.reason().find(part), std::string::npos) << e.reason();
        }
    }
    // The files the engine loads are all there on a machine set up by install-deps.sh.
    const std::unique_ptr<tavrix::FontLibraries> table =
        tavrix::loadFontLibraries(tavrix::fontLibraryFiles());
    EXPECT_NE(table->FT_Get_CID_From_Glyph_Index, nullptr);
}

// What the dynamic loader says it opens, in a fresh process.
std::string filesOpened(const std::vector<std::string>& args) {
    const CommandResult r = runTavrix(args, {"LD_DEBUG=files", kFontsConf});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.err;
}

TEST(FontLibraries, OnlyARunWithATextOutsideWindows1252LoadsThem) {
    TempDir dir;
    const std::string plain = filesOpened({"--prefix", "Seite ", kSample, dir.file("plain.pdf")});
    EXPECT_NE(plain.find("libtavrix.so"), std::string::npos) << "no loader trace: " << plain;
    for (const char* library : {"libharfbuzz", "libfribidi", "libfontconfig", "libfreetype"})
        EXPECT_EQ(plain.find(library), std::string::npos) << library << " loaded:\n" << plain;

    const std::string greek =
        filesOpened({"--prefix", "\xCE\xA3\xCE\xB5\xCE\xBB. ", kSample, dir.file("greek.pdf")});
    for (const char* library : {"libharfbuzz.so.0", "libharfbuzz-subset.so.0", "libfribidi.so.0",
                                "libfontconfig.so.1", "libfreetype.so.6"})
        EXPECT_NE(greek.find(std::string("file=") + library), std::string::npos) << library;
}

// A damaged installation: the run that needs the library fails and says what to install; the
// run that does not need it is not affected.
TEST(FontLibraries, ARunThatCannotLoadThemFailsWithWhatToInstallAndWritesNothing) {
    TempDir dir;
    const std::string folder = dir.file("lib");
    runCommand({"mkdir", folder});
    writeFile(folder + "/libfribidi.so.0", "not a library\n");
    const std::vector<std::string> environment{"LD_LIBRARY_PATH=" + folder, kFontsConf};

    const std::string output = dir.file("out.pdf");
    const CommandResult failed =
        runTavrix({"--prefix", "\xD7\xA2\xD7\x9E\xD7\x95\xD7\x93 ", kSample, output}, environment);
    EXPECT_NE(failed.exitCode, 0);
    EXPECT_NE(failed.err.find("tavrix: cannot load libfribidi.so.0 (fribidi"), std::string::npos)
        << failed.err;
    EXPECT_NE(failed.err.find("install the package libfribidi0"), std::string::npos) << failed.err;
    EXPECT_FALSE(fileExists(output));

    const CommandResult plain = runTavrix({"--prefix", "Page ", kSample, output}, environment);
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_TRUE(qpdfCheck(output));
}

} // namespace
