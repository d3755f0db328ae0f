// The window model driven as a user would: fields typed, commands run, messages and files checked.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

#include "desktop/model/main_window.hpp"
#include "desktop/model/parameters_file.hpp"
#include "fakes.hpp"

namespace folvane {
namespace {

namespace fs = std::filesystem;
using testing::FakePlatform;
using testing::FakeRuntime;

// Runs each test in a fresh working directory, where "Default.ppf" lives.
class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = fs::current_path();
        dir_ = fs::temp_directory_path() /
               ("folvane-window-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(dir_);
    }

    MainWindow& started() {
        window_ = std::make_unique<MainWindow>(platform, runtime, testing::fixedExpander());
        window_->start();
        return *window_;
    }
    static std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void writeFile(const fs::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static void click(MainWindow& w, Field f, bool on) {
        w.fields().setChecked(f, on);
        w.checkClicked(f);
    }
    int32_t engineValue(const std::string& name) const {
        for (const auto& c : runtime.calls)
            if (c.name == name) return c.value;
        return -12345;
    }
    std::string engineText(const std::string& name) const {
        for (const auto& c : runtime.calls)
            if (c.name == name) return c.text;
        return "<none>";
    }

    FakePlatform platform;
    FakeRuntime runtime;
    fs::path dir_, previous_;
    std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowTest, StartsFromStartValuesWithoutDefaultFile) {
    MainWindow& w = started();
    EXPECT_EQ(w.currentParametersFile(), "Default.ppf");
    EXPECT_TRUE(w.fontListFilled());
    EXPECT_EQ(w.preview(), "Page 1 / 9999");
    EXPECT_EQ(w.fields().text(Field::Vertical), "10");
    EXPECT_TRUE(w.fields().checked(Field::FromLeft));
    EXPECT_TRUE(w.fields().checked(Field::ForcePortrait));
    EXPECT_EQ(w.record().textColor, 0u);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_FALSE(fs::exists("Default.ppf"));
}

TEST_F(MainWindowTest, StartReadsDefaultFileWithPaths) {
    writeFile("Default.ppf", "PREFIXSTR;Sheet \r\nINFILE;/in/a.pdf\r\nFONTSIZE;11.54\r\n"
                             "TEXTCOLORCMYKK;40\r\nCALCTOP\r\n");
    MainWindow& w = started();
    EXPECT_EQ(w.record().inputPath, "/in/a.pdf");
    EXPECT_EQ(w.fields().text(Field::InputPath), "/in/a.pdf");
    EXPECT_EQ(w.fields().text(Field::FontSize), "11.54");
    EXPECT_TRUE(w.fields().checked(Field::FromTop));
    EXPECT_FALSE(w.fields().checked(Field::FromBottom));
    EXPECT_FALSE(w.fields().checked(Field::ForcePortrait)); // absent from the file
    EXPECT_EQ(w.cmykForm().values()[3], 40);
    EXPECT_EQ(w.preview(), "Sheet 1 / 9999");
}

TEST_F(MainWindowTest, EngineFailureCutsStartUpShort) {
    runtime.createResult = static_cast<HResult>(0x80040154);
    writeFile("Default.ppf", "PREFIXSTR;never read\r\n");
    MainWindow& w = started();
    EXPECT_EQ(platform.texts(), std::vector<std::string>{"Unknown error 0x80040154"});
    EXPECT_FALSE(w.fontListFilled());
    EXPECT_EQ(w.preview(), "");
    EXPECT_EQ(w.record().prefixText, "Page ");
    EXPECT_EQ(w.fields().text(Field::PrefixText), "Page ");
    w.closeButton(); // the parameters file was never set, so nothing is written
    EXPECT_EQ(read("Default.ppf"), "PREFIXSTR;never read\r\n");
}

TEST_F(MainWindowTest, BadFieldStopsCommitButApplyStillRuns) {
    MainWindow& w = started();
    w.fields().setText(Field::InputPath, "/in/old.pdf");
    w.fields().setText(Field::OutputPath, "/out/old.pdf");
    ASSERT_TRUE(w.commit());

    struct FocusSpy : WindowObserver {
        std::vector<Field> focused;
        void focusField(Field f) override { focused.push_back(f); }
    } spy;
    w.setObserver(&spy);
    w.fields().setText(Field::FirstPage, "4");
    w.fields().setText(Field::LastPage, "12x");
    w.fields().setText(Field::Vertical, "33");
    w.fields().setText(Field::InputPath, "/in/new.pdf");
    w.applyText();
    w.setObserver(nullptr);

    EXPECT_EQ(platform.texts().front(), "Please enter an integer.");
    EXPECT_EQ(spy.focused, std::vector<Field>{Field::LastPage});
    EXPECT_EQ(engineValue("startPage"), 4);   // before the bad field: taken
    EXPECT_EQ(engineValue("endPage"), 99999); // the bad field keeps its old value
    EXPECT_EQ(engineValue("posv"), 10);       // after it: not taken
    EXPECT_EQ(engineText("getTavrixFile"), "/in/old.pdf|/out/old.pdf|");
    EXPECT_EQ(platform.texts().back(), "Done!\n\nOutput file: /out/old.pdf\n\n");
}

TEST_F(MainWindowTest, RangedFieldsKeepTheirValueAndStopTheCommit) {
    MainWindow& w = started();
    w.fields().setText(Field::Angle, "400");
    w.fields().setChecked(Field::ForcePortrait, false); // after the angle
    EXPECT_FALSE(w.commit());
    EXPECT_EQ(platform.texts(),
              std::vector<std::string>{"Please enter an integer between 0 and 360."});
    EXPECT_EQ(w.record().angleDegrees, 400);
    EXPECT_TRUE(w.record().forcePortrait);

    platform.messages.clear();
    w.fields().setText(Field::Angle, "90");
    w.fields().setText(Field::Opacity, "150");
    EXPECT_FALSE(w.commit());
    EXPECT_EQ(platform.texts(),
              std::vector<std::string>{"Please enter an integer between 0 and 100."});
    EXPECT_EQ(w.record().opacityPercent, 150);
    EXPECT_FALSE(w.record().forcePortrait);

    platform.messages.clear();
    w.fields().setText(Field::Opacity, "50");
    w.fields().setText(Field::FontSize, "big");
    EXPECT_FALSE(w.commit());
    EXPECT_EQ(platform.texts(), std::vector<std::string>{"Please enter a number."});
}

TEST_F(MainWindowTest, TypingInCommitOnChangeFieldsReportsAtOnceAndUpdatesPreview) {
    MainWindow& w = started();
    w.fields().setText(Field::FirstPage, "a");
    w.textTyped(Field::FirstPage);
    EXPECT_EQ(platform.texts(), std::vector<std::string>{"Please enter an integer."});
    w.fields().setText(Field::FirstPage, "1");
    w.fields().setText(Field::FirstNumber, "7");
    w.fields().setText(Field::MaskDigits, "3");
    w.textTyped(Field::MaskDigits);
    EXPECT_EQ(w.preview(), "Page 007 / 9999");
    w.fields().setText(Field::EndText, " [YYYY]");
    w.textTyped(Field::EndText);
    EXPECT_EQ(w.preview(), "Page 007 / 9999 2026");
}

TEST_F(MainWindowTest, EnterEscapeAndTheTwoCloses) {
    {
        MainWindow& w = started();
        w.fields().setText(Field::Nth, "x");
        w.enterKey();
        EXPECT_EQ(w.ended(), WindowEnd::Open);
        w.fields().setText(Field::Nth, "2");
        w.enterKey();
        EXPECT_EQ(w.ended(), WindowEnd::EnterKey);
        EXPECT_EQ(w.record().nth, 2);
        EXPECT_FALSE(fs::exists("Default.ppf"));
    }
    {
        MainWindow& w = started();
        w.fields().setText(Field::PrefixText, "Typed ");
        w.escapeKey();
        EXPECT_EQ(w.ended(), WindowEnd::EscapeKey);
        EXPECT_EQ(w.record().prefixText, "Page ");
        EXPECT_FALSE(fs::exists("Default.ppf"));
    }
    {
        MainWindow& w = started();
        w.fields().setChecked(Field::Reverse, true);
        w.checkClicked(Field::TwoUp);
        w.closeFrame();
        EXPECT_EQ(w.ended(), WindowEnd::Frame);
        EXPECT_FALSE(fs::exists("Default.ppf"));
        EXPECT_EQ(runtime.initializeCount, runtime.uninitializeCount);
    }
    {
        platform.messages.clear();
        MainWindow& w = started();
        w.fields().setText(Field::Vertical, "55.5"); // typed, not yet committed
        w.closeButton();
        EXPECT_EQ(w.ended(), WindowEnd::CloseButton);
        EXPECT_TRUE(platform.messages.empty());
        const std::string saved = read("Default.ppf");
        EXPECT_NE(saved.find("VERTICAL;55.5\r\n"), std::string::npos);
        EXPECT_NE(saved.find("VERTICALALL;55.5\r\n"), std::string::npos);
    }
    // The next start comes back as it was left.
    MainWindow& again = started();
    EXPECT_EQ(again.fields().text(Field::Vertical), "55.5");
}

TEST_F(MainWindowTest, AfterLoadOrSaveAsCloseNoLongerWritesDefault) {
    writeFile("other.ppf", "PREFIXSTR;Other \r\nINFILE;/ignored.pdf\r\n");
    {
        MainWindow& w = started();
        platform.files = {std::string("other.ppf")};
        w.loadSettings();
        EXPECT_EQ(w.currentParametersFile(), "other.ppf");
        EXPECT_EQ(w.record().prefixText, "Other ");
        EXPECT_EQ(w.record().inputPath, "");
        EXPECT_EQ(w.preview(), "Other 1 / 9999");
        w.closeButton();
        EXPECT_FALSE(fs::exists("Default.ppf"));
    }
    {
        MainWindow& w = started();
        platform.files = {std::string("saved.ppf")};
        w.saveSettingsAs();
        EXPECT_EQ(platform.choices.back().title, "Save Page Parameters File");
        EXPECT_EQ(platform.choices.back().defaultExtension, "PPF");
        EXPECT_EQ(platform.texts().back(), "Saved to file: saved.ppf");
        w.closeButton();
        EXPECT_FALSE(fs::exists("Default.ppf"));
        EXPECT_TRUE(fs::exists("saved.ppf"));
    }
}

TEST_F(MainWindowTest, SaveSettingsMessages) {
    MainWindow& w = started();
    w.saveSettings();
    EXPECT_TRUE(fs::exists("Default.ppf"));
    EXPECT_TRUE(platform.messages.empty());
    platform.files = {(dir_ / "no-such-dir" / "x.ppf").string()};
    w.saveSettingsAs();
    EXPECT_EQ(platform.texts().back(),
              "Can't save to :" + (dir_ / "no-such-dir" / "x.ppf").string());
}

TEST_F(MainWindowTest, LoadSettingsColour) {
    writeFile("plain.ppf", "PREFIXSTR;Plain \r\n");
    writeFile("red.ppf", "TEXTCOLOR;255\r\n");
    MainWindow& w = started();
    w.record().textColor = makeColor(0, 0, 255);
    w.loadSettings(); // cancelled: the colour stays
    EXPECT_EQ(w.record().textColor, makeColor(0, 0, 255));
    platform.files = {std::string("red.ppf")};
    w.loadSettings();
    EXPECT_EQ(w.record().textColor, 255u);
    platform.files = {std::string("plain.ppf")};
    w.loadSettings(); // a file without a colour loads as black
    EXPECT_EQ(w.record().textColor, 0u);
    EXPECT_EQ(platform.choices.back().title, "Open Page Parameters File");
}

TEST_F(MainWindowTest, QuickSetup) {
    MainWindow& w = started();
    w.selectPosition(4);
    EXPECT_EQ(w.record().shown.vertical, 780);
    EXPECT_EQ(w.record().shown.horizontal, 560);
    EXPECT_EQ(w.fields().text(Field::PositionName), "Top Right");
    EXPECT_TRUE(platform.messages.empty());

    platform.answers = {Answer::No};
    w.selectPosition(2);
    EXPECT_EQ(w.record().shown.horizontal, 280);
    EXPECT_EQ(w.record().shown.vertical, 10);
    EXPECT_TRUE(w.record().shown.alignLeft);
    EXPECT_EQ(platform.messages.back().caption, "Center Text");
    EXPECT_EQ(platform.messages.back().buttons, Buttons::YesNoCancel);

    platform.answers = {Answer::Cancel};
    w.selectPosition(5);
    EXPECT_EQ(w.record().shown.horizontal, 280);
    EXPECT_TRUE(w.record().shown.alignLeft);

    // from-right and from-top are left alone, except that Yes measures from the left again.
    click(w, Field::FromRight, true);
    platform.answers = {Answer::Yes};
    w.selectPosition(5);
    const PositionSet& at = w.record().shown;
    EXPECT_EQ(at.horizontal, -1);
    EXPECT_EQ(at.vertical, 780);
    EXPECT_TRUE(at.alignCenter);
    EXPECT_FALSE(at.alignLeft || at.alignRight || at.fromRight);
    EXPECT_EQ(platform.texts().back(), "The Align Text checkbox is now set to Center also");
    EXPECT_TRUE(w.fields().checked(Field::AlignCenter));
    EXPECT_EQ(w.fields().text(Field::Horizontal), "-1");
}

TEST_F(MainWindowTest, LinkedCheckBoxes) {
    MainWindow& w = started();
    click(w, Field::TwoUp, true);
    click(w, Field::AbTwoUp, true);
    EXPECT_TRUE(w.record().abTwoUp);
    EXPECT_FALSE(w.record().twoUp);
    EXPECT_FALSE(w.fields().checked(Field::TwoUp));

    click(w, Field::AlignRight, true);
    EXPECT_TRUE(w.record().shown.alignRight);
    EXPECT_FALSE(w.record().shown.alignLeft);
    w.fields().setChecked(Field::AlignRight, false); // clearing the one box leaves none
    w.checkClicked(Field::AlignRight);
    EXPECT_FALSE(w.record().shown.alignLeft || w.record().shown.alignRight ||
                 w.record().shown.alignCenter);

    click(w, Field::RomanUpper, true);
    EXPECT_EQ(w.preview(), "Page I / CMXCIX");
    click(w, Field::RomanLower, true);
    EXPECT_FALSE(w.record().romanUpper);
    EXPECT_EQ(w.preview(), "Page i / cmxcix");

    click(w, Field::FromTop, true);
    EXPECT_TRUE(w.record().shown.fromTop);
    EXPECT_FALSE(w.fields().checked(Field::FromBottom));
    EXPECT_EQ(platform.texts().back(),
              "Note: all from bottom positions will be negative from the top page margin\r\n"
              "e.g. entering 80 would mean 80 pixels from the top page margin.");
    click(w, Field::FromBottom, true);
    EXPECT_FALSE(w.record().shown.fromTop);
    EXPECT_EQ(platform.texts().back(),
              "Note: all bottom positions will be from the bottom page margin.");
    click(w, Field::FromLeft, false);
    EXPECT_TRUE(w.record().shown.fromRight);
    EXPECT_TRUE(w.fields().checked(Field::FromRight));
    EXPECT_EQ(platform.texts().back(),
              "Note: all bottom positions will be from the bottom page margin."); // no new note
}

TEST_F(MainWindowTest, NoPageNumbersEmptiesOnlyTheDefaultSeparator) {
    MainWindow& w = started();
    w.fields().setText(Field::SeparatorText, " of ");
    click(w, Field::NoPageNumbers, true);
    EXPECT_EQ(w.record().separatorText, " of ");
    EXPECT_EQ(w.preview(), "Page  of ");

    click(w, Field::NoPageNumbers, false);
    w.choosePreset(Field::SeparatorText, " / ");
    EXPECT_EQ(w.fields().text(Field::SeparatorText), " / ");
    click(w, Field::NoPageNumbers, true);
    EXPECT_EQ(w.record().separatorText, "");
    EXPECT_EQ(w.fields().text(Field::SeparatorText), "");
    EXPECT_EQ(w.preview(), "Page ");
}

TEST_F(MainWindowTest, DroppedFiles) {
    fs::create_directory("folder");
    MainWindow& w = started();
    w.fields().setText(Field::Vertical, "99"); // uncommitted; a drop shows the record again
    w.dropFiles({"/a/one.pdf", "folder", "/a/two.pdf"}, true);
    EXPECT_EQ(w.record().outputPath, "/a/two.pdf");
    EXPECT_EQ(w.record().inputPath, "");
    EXPECT_EQ(w.fields().text(Field::Vertical), "10");
    w.dropFiles({(dir_ / "folder").string()}, false);
    EXPECT_EQ(w.record().inputPath, "");
    w.dropFiles({"/a/in.pdf"}, false);
    EXPECT_EQ(w.record().inputPath, "/a/in.pdf");
    EXPECT_EQ(w.fields().text(Field::InputPath), "/a/in.pdf");
}

TEST_F(MainWindowTest, BrowseAndView) {
    MainWindow& w = started();
    w.viewInput();
    EXPECT_TRUE(platform.opened.empty());
    platform.files = {std::string("/docs/in.pdf"), std::string("/docs/out.pdf")};
    w.browseInput();
    EXPECT_EQ(platform.choices[0].title, "Select pdf file");
    EXPECT_EQ(platform.choices[0].defaultExtension, "pdf");
    w.browseOutput();
    EXPECT_EQ(platform.choices[1].title, "Save to PDF File");
    EXPECT_EQ(w.fields().text(Field::OutputPath), "/docs/out.pdf");
    w.fields().setText(Field::InputPath, "/typed/not/committed.pdf");
    w.viewInput();
    w.viewOutput();
    EXPECT_EQ(platform.opened, (std::vector<std::string>{"/docs/in.pdf", "/docs/out.pdf"}));
}

TEST_F(MainWindowTest, CmykSwitchAndForm) {
    MainWindow& w = started();
    w.record().textColor = makeColor(200, 100, 50);
    click(w, Field::UseCmyk, true);
    EXPECT_EQ(w.record().cmykC, 0);
    EXPECT_EQ(w.record().cmykK, 22);
    EXPECT_EQ(w.cmykForm().values()[2], 75);
    click(w, Field::UseCmyk, false);
    const uint32_t back = w.record().textColor;
    EXPECT_LE(std::abs(int(redOf(back)) - 200), 1);
    EXPECT_LE(std::abs(int(greenOf(back)) - 100), 1);
    EXPECT_LE(std::abs(int(blueOf(back)) - 50), 1);

    // Black stays black through the switch.
    w.record().textColor = 0;
    click(w, Field::UseCmyk, true);
    EXPECT_EQ(w.record().cmykK, 100);
    click(w, Field::UseCmyk, false);
    EXPECT_EQ(w.record().textColor, 0u);

    // The CMYK form: Cancel keeps the record but the form remembers what was typed.
    click(w, Field::UseCmyk, true);
    platform.cmykEditor = [this](CmykForm& form) {
        EXPECT_EQ(form.fieldText(3), "100");
        form.setFieldText(0, "100");
        form.setFieldText(3, "0");
        EXPECT_TRUE(form.commitFields(platform));
        return false;
    };
    w.chooseColour();
    EXPECT_EQ(w.record().cmykC, 0);
    EXPECT_EQ(w.record().textColor, 0u);
    platform.cmykEditor = [this](CmykForm& form) {
        EXPECT_EQ(form.fieldText(0), "100");
        form.setFieldText(1, "150");
        EXPECT_FALSE(form.commitFields(platform));
        EXPECT_EQ(form.failedField(), 1);
        form.setFieldText(1, "0");
        return form.commitFields(platform);
    };
    w.chooseColour();
    EXPECT_EQ(platform.texts().back(), "Please enter an integer between 0 and 100.");
    EXPECT_EQ(w.record().cmykC, 100);
    EXPECT_EQ(w.record().cmykK, 0);
    EXPECT_EQ(w.record().textColor, makeColor(0, 255, 255));

    // With CMYK off the colour chooser decides; Cancel keeps the colour.
    click(w, Field::UseCmyk, false);
    platform.colour = makeColor(1, 2, 3);
    w.chooseColour();
    EXPECT_EQ(w.record().textColor, makeColor(1, 2, 3));
    platform.colour.reset();
    w.chooseColour();
    EXPECT_EQ(w.record().textColor, makeColor(1, 2, 3));
}

} // namespace
} // namespace folvane
