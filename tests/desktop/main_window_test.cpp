// The window model driven as a user would: fields typed, commands run, messages and files checked.
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

#include "desktop/model/main_window.hpp"
#include "desktop/model/parameters_file.hpp"
#include "fakes.hpp"
#include "support/test_files.hpp"

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
        fs::current_path(dir_.path());
        ::setenv("XDG_CONFIG_HOME", dir_.file("config").c_str(), 1);
    }
    void TearDown() override {
        window_.reset();
        ::unsetenv("XDG_CONFIG_HOME");
        fs::current_path(previous_);
    }

    MainWindow& started() {
        window_.reset();
        window_ = std::make_unique<MainWindow>(platform, runtime, std::make_unique<InlineWorker>(),
                                               testing::fixedExpander());
        window_->start();
        return *window_;
    }
    // Where the settings go when the working folder holds no "Default.ppf".
    fs::path settingsFile() const { return dir_.path() / "config" / "folvane" / "Default.ppf"; }
    static std::string read(const fs::path& path) { return testpdf::readFile(path); }
    void writeFile(const fs::path& path, const std::string& bytes) {
        testpdf::writeFile(path, bytes);
    }
    static void click(MainWindow& w, Field f, bool on) {
        w.fields().setChecked(f, on);
        w.checkClicked(f);
    }
    // Records the fields the window sends the focus to.
    struct FocusSpy : WindowObserver {
        std::vector<Field> focused;
        void focusField(Field f) override { focused.push_back(f); }
    };

    FakePlatform platform;
    FakeRuntime runtime;
    testpdf::TempDir dir_;
    fs::path previous_;
    std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowTest, StartsFromStartValuesWithoutDefaultFile) {
    MainWindow& w = started();
    EXPECT_EQ(w.currentParametersFile(), settingsFile().string());
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
    EXPECT_EQ(
        platform.texts(),
        std::vector<std::string>{"The stamping engine is not registered. Run: tavrix --register"});
    EXPECT_FALSE(w.fontListFilled());
    EXPECT_EQ(w.preview(), "");
    EXPECT_EQ(w.record().prefixText, "Page ");
    EXPECT_EQ(w.fields().text(Field::PrefixText), "Page ");
    w.closeButton(); // the parameters file was never set, so nothing is written
    EXPECT_EQ(read("Default.ppf"), "PREFIXSTR;never read\r\n");
    // Save Settings without a file name asks for one instead of failing on an empty name.
    MainWindow& again = started();
    platform.messages.clear();
    again.saveSettings();
    EXPECT_EQ(platform.choices.back().title, "Save Page Parameters File");
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(MainWindowTest, ApplyWithABadFieldStampsNothing) {
    writeFile("old.pdf", "an earlier result");
    MainWindow& w = started();
    w.fields().setText(Field::InputPath, "in.pdf");
    w.fields().setText(Field::OutputPath, "old.pdf");
    ASSERT_TRUE(w.commit());

    FocusSpy spy;
    w.setObserver(&spy);
    w.fields().setText(Field::LastPage, "12x");
    w.fields().setText(Field::OutputPath, "new.pdf");
    w.applyText();
    w.setObserver(nullptr);

    EXPECT_EQ(platform.texts(), std::vector<std::string>{"Please enter an integer."});
    EXPECT_EQ(spy.focused, std::vector<Field>{Field::LastPage});
    EXPECT_TRUE(runtime.calls.empty()); // the engine is not touched at all
    EXPECT_EQ(read("old.pdf"), "an earlier result");
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

TEST_F(MainWindowTest, TypingNeverInterruptsAndLeavingFlagsTheField) {
    MainWindow& w = started();
    FocusSpy spy;
    w.setObserver(&spy);
    w.fields().setText(Field::Angle, "400"); // bad, elsewhere
    w.fields().setText(Field::FirstPage, "a");
    w.textTyped(Field::FirstPage);
    w.fields().setText(Field::PrefixText, "Folio ");
    w.textTyped(Field::PrefixText);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_TRUE(spy.focused.empty());
    EXPECT_EQ(w.preview(), "Folio 1 / 9999");
    EXPECT_EQ(w.fieldFlag(Field::FirstPage), ""); // not yet: the user is still typing there

    w.fieldLeft(Field::FirstPage);
    EXPECT_EQ(w.fieldFlag(Field::FirstPage), "Please enter an integer.");
    w.fieldLeft(Field::Angle);
    EXPECT_EQ(w.fieldFlag(Field::Angle), "Please enter an integer between 0 and 360.");
    EXPECT_TRUE(platform.messages.empty());
    w.fields().setText(Field::FirstPage, "1"); // a flagged field clears as soon as it reads well
    w.textTyped(Field::FirstPage);
    EXPECT_EQ(w.fieldFlag(Field::FirstPage), "");

    w.fields().setText(Field::FirstNumber, "7");
    w.fields().setText(Field::MaskDigits, "3");
    w.textTyped(Field::MaskDigits);
    EXPECT_EQ(w.preview(), "Folio 007 / 9999");
    w.fields().setText(Field::EndText, " [YYYY] \xE2\x98\x83\xE2\x82\xAC"); // snowman, euro
    w.textTyped(Field::EndText);
    EXPECT_EQ(w.preview(), "Folio 007 / 9999 2026 \xE2\x98\x83\xE2\x82\xAC");
    // The euro sign is in the stamp's basic character set; the snowman needs an embedded font.
    EXPECT_EQ(w.fieldFlag(Field::EndText).rfind("Drawn with an embedded subset of ", 0), 0u)
        << w.fieldFlag(Field::EndText);
    EXPECT_NE(w.fieldFlag(Field::EndText).find("\xE2\x98\x83"), std::string::npos);
    EXPECT_EQ(w.fieldFlag(Field::EndText).find("\xE2\x82\xAC"), std::string::npos);
    EXPECT_EQ(w.fieldFlag(Field::PrefixText), "");
    // A control character pasted into a text (NEL) is drawn as a blank: it asks no font of its
    // own, and the stamp's fonts stay as they were.
    const std::string drawnWith = w.fieldFlag(Field::EndText);
    w.fields().setText(Field::PrefixText, "Folio\xC2\x85");
    w.textTyped(Field::PrefixText);
    EXPECT_EQ(w.fieldFlag(Field::EndText), drawnWith);
    // A character no installed font has is named, with what to do.
    w.fields().setText(Field::PrefixText, "\xF4\x8F\xBF\xBD "); // U+10FFFD, private use
    w.textTyped(Field::PrefixText);
    EXPECT_EQ(w.fieldFlag(Field::PrefixText)
                  .rfind("Cannot be stamped: no installed font has "
                         "U+10FFFD; install one",
                         0),
              0u)
        << w.fieldFlag(Field::PrefixText);
    w.setObserver(nullptr);
}

TEST_F(MainWindowTest, EnterEscapeAndTheTwoCloses) {
    {
        MainWindow& w = started();
        w.fields().setText(Field::Nth, "x");
        w.enterKey();
        EXPECT_EQ(platform.texts(), std::vector<std::string>{"Please enter an integer."});
        w.fields().setText(Field::Nth, "2");
        w.enterKey(); // Enter commits and never ends the program
        EXPECT_EQ(w.ended(), WindowEnd::Open);
        EXPECT_EQ(w.record().nth, 2);
    }
    {
        MainWindow& w = started();
        w.fields().setText(Field::PrefixText, "Typed ");
        w.escapeKey(); // as the frame's close box
        EXPECT_EQ(w.ended(), WindowEnd::Frame);
        EXPECT_EQ(w.record().prefixText, "Page ");
        EXPECT_FALSE(fs::exists(settingsFile()));
        EXPECT_EQ(runtime.initializeCount, runtime.uninitializeCount);
    }
    {
        MainWindow& w = started();
        w.fields().setChecked(Field::Reverse, true);
        w.checkClicked(Field::TwoUp);
        w.closeFrame();
        EXPECT_EQ(w.ended(), WindowEnd::Frame);
        EXPECT_FALSE(fs::exists(settingsFile()));
    }
    {
        platform.messages.clear();
        MainWindow& w = started();
        w.fields().setText(Field::Vertical, "55.5"); // typed, not yet committed
        w.closeButton();
        EXPECT_EQ(w.ended(), WindowEnd::CloseButton);
        EXPECT_TRUE(platform.messages.empty());
        const std::string saved = read(settingsFile());
        EXPECT_NE(saved.find("VERTICAL;55.5\r\n"), std::string::npos);
        EXPECT_NE(saved.find("VERTICALALL;55.5\r\n"), std::string::npos);
        EXPECT_FALSE(fs::exists("Default.ppf")); // nothing written into the working folder
    }
    // The next start comes back as it was left.
    MainWindow& again = started();
    EXPECT_EQ(again.fields().text(Field::Vertical), "55.5");
}

TEST_F(MainWindowTest, DefaultFileInTheWorkingFolderIsKeptWhenItIsThere) {
    writeFile("Default.ppf", "PREFIXSTR;Here \r\n");
    MainWindow& w = started();
    EXPECT_EQ(w.currentParametersFile(), "Default.ppf");
    w.closeButton();
    EXPECT_NE(read("Default.ppf").find("PREFIXSTR;Here \r\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(settingsFile()));
}

TEST_F(MainWindowTest, UnreadableSettingsFileIsTreatedAsAbsent) {
    fs::create_directory("Default.ppf"); // a folder of that name must not stop the start
    MainWindow& w = started();
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(w.currentParametersFile(), settingsFile().string());
    platform.files = {std::string("Default.ppf")};
    w.loadSettings();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text,
              "The settings were not loaded: cannot read 'Default.ppf': it is a folder.");
    EXPECT_EQ(platform.messages[0].tone, Tone::Error);
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
        EXPECT_FALSE(fs::exists(settingsFile()));
    }
    {
        MainWindow& w = started();
        platform.files = {std::string("saved.ppf")};
        w.saveSettingsAs();
        EXPECT_EQ(platform.choices.back().title, "Save Page Parameters File");
        EXPECT_EQ(platform.choices.back().defaultExtension, "PPF");
        EXPECT_EQ(platform.texts().back(), "Saved to file: saved.ppf");
        w.closeButton();
        EXPECT_FALSE(fs::exists(settingsFile()));
        EXPECT_TRUE(fs::exists("saved.ppf"));
    }
}

TEST_F(MainWindowTest, SaveSettingsMessages) {
    MainWindow& w = started();
    w.saveSettings();
    EXPECT_TRUE(fs::exists(settingsFile()));
    EXPECT_TRUE(platform.messages.empty());
    platform.files = {(dir_.path() / "no-such-dir" / "x.ppf").string()};
    w.saveSettingsAs();
    EXPECT_EQ(platform.texts().back(),
              "Can't save to :" + (dir_.path() / "no-such-dir" / "x.ppf").string());
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

TEST_F(MainWindowTest, QuickSetupMeasuresFromTheEdgeItSitsAt) {
    MainWindow& w = started();
    struct Case {
        int index;
        double vertical, horizontal;
        bool fromRight, fromTop;
    };
    // On a 612 x 792 page each lands where the old numbers put it (Bottom Right at x 560, Top at
    // y 780); on other sizes at the same distance from its own edges.
    const Case cases[] = {{4, 12, 52, true, true},
                          {1, 10, 52, true, false},
                          {3, 12, 20, false, true},
                          {0, 10, 20, false, false}};
    for (const Case& c : cases) {
        w.selectPosition(c.index);
        const PositionSet& at = w.record().shown;
        EXPECT_EQ(at.vertical, c.vertical) << c.index;
        EXPECT_EQ(at.horizontal, c.horizontal) << c.index;
        EXPECT_EQ(at.fromRight, c.fromRight) << c.index;
        EXPECT_EQ(at.fromTop, c.fromTop) << c.index;
        EXPECT_EQ(w.fields().text(Field::PositionName), positionPresets()[c.index]);
    }
    EXPECT_TRUE(platform.messages.empty());

    platform.answers = {Answer::No};
    w.selectPosition(2);
    EXPECT_EQ(w.record().shown.horizontal, 280);
    EXPECT_EQ(w.record().shown.vertical, 10);
    EXPECT_TRUE(w.record().shown.alignLeft);
    EXPECT_EQ(platform.messages.back().caption, "Center Text");
    EXPECT_EQ(platform.messages.back().buttons, Buttons::YesNoCancel);

    platform.answers = {Answer::Yes};
    w.selectPosition(5);
    const PositionSet& at = w.record().shown;
    EXPECT_EQ(at.horizontal, -1);
    EXPECT_EQ(at.vertical, 12);
    EXPECT_TRUE(at.fromTop);
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
    w.fields().setText(Field::Vertical, "99"); // typed, not committed: a drop keeps it
    w.dropFiles({"/a/one.pdf", "folder", "/a/two.pdf"}, true);
    EXPECT_EQ(w.record().outputPath, "/a/two.pdf");
    EXPECT_EQ(w.record().inputPath, "");
    EXPECT_EQ(w.fields().text(Field::Vertical), "99");
    w.dropFiles({(dir_.path() / "folder").string()}, false);
    EXPECT_EQ(w.record().inputPath, "");
    w.dropFiles({"/a/in.pdf"}, false);
    EXPECT_EQ(w.record().inputPath, "/a/in.pdf");
    EXPECT_EQ(w.fields().text(Field::InputPath), "/a/in.pdf");
    EXPECT_EQ(w.fields().text(Field::OutputPath), "/a/two.pdf"); // a chosen output stays

    MainWindow& fresh = started(); // an empty output is suggested beside the input
    fresh.dropFiles({"/a/Report.PDF"}, false);
    EXPECT_EQ(fresh.fields().text(Field::OutputPath), "/a/Report-numbered.pdf");
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
    w.chooseColour(); // the chooser opens at the current colour
    EXPECT_EQ(platform.colourShownFirst, makeColor(1, 2, 3));
    EXPECT_EQ(w.record().textColor, makeColor(1, 2, 3));
}

} // namespace
} // namespace folvane
