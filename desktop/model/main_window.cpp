#include "desktop/model/main_window.hpp"

#include <filesystem>
#include <string>

#include "desktop/model/number_text.hpp"
#include "desktop/model/parameters_file.hpp"
#include "desktop/model/settings_table.hpp"

namespace folvane {
namespace {

const std::vector<FileFilter> kPpfFilters{{"*.ppf", "*.ppf"}, {"All Files *.*", "*"}};
const std::vector<FileFilter> kPdfFilters{{"*.pdf", "*.pdf"}, {"All Files *.*", "*"}};

const std::vector<std::string> kEndPresets{
    "[FILETITLE]",
    "[FILETITLEEXT]",
    "[FILENAME]",
    "[FOLDERPATH]",
    "[TOPFOLDERPATH]",
    "[DD]-[MM]-[YY]",
    "[DD]-[MM]-[YYYY] [hh]:[mm]:[ss][AMPM]",
    "[MM]-[DD]-[YY]",
    "[MM]-[DD]-[YYYY]",
    "[D]-[M]-[YYYY]",
    "[M]-[D]-[YYYY]",
    "[D][DEX] [MN], [YYYY]",
    "[DN] [D], [AMN] [YYYY]",
    "[DD] [ADN] [MN], [YYYY]",
    "Monday Week No: [WYM]",
    "Sunday Week No: [WYS]",
    "Week Day: [WD]",
    "[VAR(a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q,r,s,t,u,v,w,x,y,z)]",
    "[VAR(a,b,c)]",
    "[VAR(a,a,b,b)]",
    "[VAR(a,b,a,b)]",
    "[VAR(BILL,STATEMENT)]",
    "File Created: [CREATEDTIME], File Modified: [MODIFIEDTIME]",
};

struct QuickPosition {
    double vertical;
    double horizontal;
    bool asksToCentre;
};
const QuickPosition kQuickPositions[6] = {{10, 20, false},  {10, 560, false},  {10, 280, true},
                                          {780, 20, false}, {780, 560, false}, {780, 280, true}};

} // namespace

const std::vector<std::string>& positionPresets() {
    static const std::vector<std::string> presets{"Bottom Left", "Bottom Right", "Bottom Middle",
                                                  "Top Left",    "Top Right",    "Top Middle"};
    return presets;
}

const std::vector<std::string>& separatorPresets() {
    static const std::vector<std::string> presets{" / ", " of "};
    return presets;
}

const std::vector<std::string>& prefixPresets() {
    static const std::vector<std::string> presets = [] {
        std::vector<std::string> list{"Page "};
        list.insert(list.end(), kEndPresets.begin(), kEndPresets.end());
        return list;
    }();
    return presets;
}

const std::vector<std::string>& endPresets() {
    return kEndPresets;
}

MainWindow::MainWindow(Platform& platform, EngineRuntime& runtime, TokenExpander expander)
    : platform_(platform), expander_(std::move(expander)), engine_(runtime, platform, expander_),
      observer_(&noObserver_) {
    refresh();
}

MainWindow::~MainWindow() = default;

void MainWindow::start() {
    if (!engine_.open()) {
        notifyFields();
        return;
    }
    currentParametersFile_ = kDefaultParametersFile;
    fontListFilled_ = true;
    refresh();
    const CmykValues& form = cmykForm_.values();
    record_.cmykC = form[0];
    record_.cmykM = form[1];
    record_.cmykY = form[2];
    record_.cmykK = form[3];
    loadParameters(kDefaultParametersFile, true);
    refreshPreview();
}

void MainWindow::notifyFields() {
    observer_->fieldsChanged();
}

bool MainWindow::commit() {
    for (size_t i = 0; i < kFieldCount; ++i) {
        const Field f = static_cast<Field>(i);
        const Setting& s = settingForField(f);
        const std::string& text = fields_.text(f);
        const MemberRef member = s.member(record_);
        switch (s.kind) {
        case Kind::Text:
            *std::get<std::string*>(member) = text;
            break;
        case Kind::Flag:
            *std::get<bool*>(member) = fields_.checked(f) != s.shownInverted;
            break;
        case Kind::Integer:
            // A ranged field keeps the value it was given even when its range message is shown.
            if (const auto v = parseIntegerField(text)) *std::get<int32_t*>(member) = *v;
            break;
        case Kind::Real:
            if (const auto v = parseRealField(text)) *std::get<double*>(member) = *v;
            break;
        case Kind::Colour:
            break; // no field edits the colour value as text
        }
        if (const auto message = fieldMessage(s, text)) {
            platform_.showMessage(*message);
            observer_->focusField(f);
            return false;
        }
    }
    return true;
}

void MainWindow::refresh() {
    for (size_t i = 0; i < kFieldCount; ++i) {
        const Field f = static_cast<Field>(i);
        const Setting& s = settingForField(f);
        const MemberRef member = s.member(record_);
        switch (s.kind) {
        case Kind::Text:
            fields_.setText(f, *std::get<std::string*>(member));
            break;
        case Kind::Flag:
            fields_.setChecked(f, *std::get<bool*>(member) != s.shownInverted);
            break;
        case Kind::Integer:
            fields_.setText(f, std::to_string(*std::get<int32_t*>(member)));
            break;
        case Kind::Real:
            fields_.setText(f, formatReal15(*std::get<double*>(member)));
            break;
        case Kind::Colour:
            break;
        }
    }
    notifyFields();
}

void MainWindow::refreshPreview() {
    preview_ = previewText(record_, expander_);
    observer_->previewChanged();
}

bool MainWindow::loadParameters(const std::string& path, bool includePaths) {
    currentParametersFile_ = path;
    CmykValues form = cmykForm_.values();
    const bool read = readParametersFile(record_, path, includePaths, &form);
    cmykForm_.setValues(form);
    if (!read) return false;
    refresh();
    refreshPreview();
    observer_->swatchChanged();
    return true;
}

void MainWindow::saveParameters() {
    storeShownPosition(record_);
    if (!writeParametersFile(record_, currentParametersFile_)) {
        platform_.showMessage("Can't save to :" + currentParametersFile_);
        return;
    }
    if (currentParametersFile_ != kDefaultParametersFile)
        platform_.showMessage("Saved to file: " + currentParametersFile_);
}

void MainWindow::end(WindowEnd how) {
    ended_ = how;
    observer_->windowEnded(how);
}

void MainWindow::applyText() {
    commit();
    engine_.applyText(record_);
}

void MainWindow::closeButton() {
    // The fields are committed before "Default.ppf" is written, so the next start shows what
    // the window showed when it was closed.
    commit();
    if (currentParametersFile_ == kDefaultParametersFile) saveParameters();
    engine_.close(false);
    end(WindowEnd::CloseButton);
}

void MainWindow::closeFrame() {
    engine_.close(true);
    end(WindowEnd::Frame);
}

void MainWindow::enterKey() {
    if (!commit()) return;
    engine_.close(false);
    end(WindowEnd::EnterKey);
}

void MainWindow::escapeKey() {
    engine_.close(false);
    end(WindowEnd::EscapeKey);
}

void MainWindow::loadSettings() {
    commit();
    const auto file = platform_.chooseFileToOpen({"Open Page Parameters File", kPpfFilters, ""});
    if (!file) return;
    // A file without a TEXTCOLOR line loads as black; a cancelled choice keeps the colour.
    record_.textColor = 0;
    observer_->swatchChanged();
    loadParameters(*file, false);
    refreshPreview();
}

void MainWindow::saveSettings() {
    commit();
    saveParameters();
}

void MainWindow::saveSettingsAs() {
    commit();
    refresh();
    const auto file = platform_.chooseFileToSave({"Save Page Parameters File", kPpfFilters, "PPF"});
    if (!file) return;
    currentParametersFile_ = *file;
    saveParameters();
}

void MainWindow::browseInput() {
    commit();
    const auto file = platform_.chooseFileToOpen({"Select pdf file", kPdfFilters, "pdf"});
    if (!file) return;
    record_.inputPath = *file;
    refresh();
}

void MainWindow::browseOutput() {
    commit();
    refresh();
    const auto file = platform_.chooseFileToSave({"Save to PDF File", kPdfFilters, ""});
    if (!file) return;
    record_.outputPath = *file;
    refresh();
}

void MainWindow::viewInput() {
    if (!record_.inputPath.empty()) platform_.openWithShell(record_.inputPath);
}

void MainWindow::viewOutput() {
    if (!record_.outputPath.empty()) platform_.openWithShell(record_.outputPath);
}

void MainWindow::dropFiles(const std::vector<std::string>& paths, bool onOutputRow) {
    for (const std::string& path : paths) {
        std::error_code ec;
        if (std::filesystem::is_directory(path, ec)) continue;
        (onOutputRow ? record_.outputPath : record_.inputPath) = path;
        refresh();
    }
}

void MainWindow::selectPosition(int index) {
    if (index < 0 || index >= static_cast<int>(positionPresets().size())) return;
    commit();
    PositionSet& at = record_.shown;
    const QuickPosition& quick = kQuickPositions[index];
    at.vertical = quick.vertical;
    at.horizontal = quick.horizontal;
    at.positionName = positionPresets()[static_cast<size_t>(index)];
    if (quick.asksToCentre &&
        platform_.showMessage("Do you want to always center by page width ?", "Center Text",
                              Buttons::YesNoCancel) == Answer::Yes) {
        at.horizontal = -1;
        at.alignCenter = true;
        at.alignLeft = at.alignRight = false;
        at.fromRight = false;
        refresh();
        platform_.showMessage("The Align Text checkbox is now set to Center also");
    }
    refresh();
}

void MainWindow::checkClicked(Field f) {
    PageParameters& p = record_;
    PositionSet& at = p.shown;
    switch (f) {
    case Field::TwoUp:
        commit();
        if (p.twoUp) p.abTwoUp = false;
        refresh();
        break;
    case Field::AbTwoUp:
        commit();
        if (p.abTwoUp) p.twoUp = false;
        refresh();
        break;
    case Field::AlignLeft:
    case Field::AlignRight:
    case Field::AlignCenter: {
        commit();
        bool* flags[3] = {&at.alignLeft, &at.alignRight, &at.alignCenter};
        const int clicked = static_cast<int>(f) - static_cast<int>(Field::AlignLeft);
        if (*flags[clicked])
            for (int i = 0; i < 3; ++i)
                if (i != clicked) *flags[i] = false;
        refresh();
        break;
    }
    case Field::RomanUpper:
        commit();
        if (p.romanUpper) p.romanLower = false;
        refresh();
        refreshPreview();
        break;
    case Field::RomanLower:
        commit();
        if (p.romanLower) p.romanUpper = false;
        refresh();
        refreshPreview();
        break;
    case Field::FromLeft:
        commit();
        at.fromRight = !fields_.checked(Field::FromLeft);
        refresh();
        if (!at.fromRight)
            platform_.showMessage(
                "Note: all from left positions will be from the left hand page margin.");
        break;
    case Field::FromRight:
        commit();
        at.fromRight = fields_.checked(Field::FromRight);
        refresh();
        if (at.fromRight)
            platform_.showMessage("Note: all from left positions will be negative from the right "
                                  "hand page margin\r\ne.g. entering 80 would mean 80 pixels "
                                  "from the right hand page margin.");
        break;
    case Field::FromBottom:
        commit();
        at.fromTop = !fields_.checked(Field::FromBottom);
        refresh();
        if (!at.fromTop)
            platform_.showMessage(
                "Note: all bottom positions will be from the bottom page margin.");
        break;
    case Field::FromTop:
        commit();
        at.fromTop = fields_.checked(Field::FromTop);
        refresh();
        if (at.fromTop)
            platform_.showMessage("Note: all from bottom positions will be negative from the top "
                                  "page margin\r\ne.g. entering 80 would mean 80 pixels from the "
                                  "top page margin.");
        break;
    case Field::ForcePortrait:
        commit();
        refresh();
        break;
    case Field::OnePageNumberOnly:
        commit();
        refreshPreview();
        break;
    case Field::NoPageNumbers:
        commit();
        if (p.noPageNumbers && p.separatorText == " / ") {
            p.separatorText.clear();
            refresh();
        }
        refreshPreview();
        break;
    case Field::UseCmyk:
        toggleUseCmyk();
        break;
    default:
        break; // the other check boxes are taken at the next commit
    }
}

void MainWindow::toggleUseCmyk() {
    commit();
    // The box's own state decides, even when an earlier field stopped the commit, so the colour
    // is never converted in the direction the user did not ask for.
    PageParameters& p = record_;
    p.useCmyk = fields_.checked(Field::UseCmyk);
    if (p.useCmyk) {
        const Cmyk c = rgbToCmyk(p.textColor);
        p.cmykC = c.c;
        p.cmykM = c.m;
        p.cmykY = c.y;
        p.cmykK = c.k;
        cmykForm_.setValues({c.c, c.m, c.y, c.k});
    } else {
        p.textColor = cmykToRgb(Cmyk{p.cmykC, p.cmykM, p.cmykY, p.cmykK});
    }
    observer_->swatchChanged();
}

void MainWindow::choosePreset(Field f, const std::string& preset) {
    commit();
    switch (f) {
    case Field::PrefixText:
        record_.prefixText = preset;
        break;
    case Field::SeparatorText:
        record_.separatorText = preset;
        break;
    case Field::EndText:
        record_.endText = preset;
        break;
    default:
        return;
    }
    refresh();
    refreshPreview();
}

void MainWindow::textTyped(Field) {
    commit();
    refreshPreview();
}

void MainWindow::chooseColour() {
    PageParameters& p = record_;
    if (!p.useCmyk) {
        if (const auto color = platform_.chooseColor()) p.textColor = *color;
    } else {
        cmykForm_.refreshFields();
        if (platform_.editCmyk(cmykForm_)) {
            const Cmyk c = cmykForm_.cmyk();
            p.textColor = cmykToRgb(c);
            p.cmykC = c.c;
            p.cmykM = c.m;
            p.cmykY = c.y;
            p.cmykK = c.k;
        }
    }
    observer_->swatchChanged();
}

} // namespace folvane
