#include "desktop/model/main_window.hpp"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "desktop/model/number_text.hpp"
#include "desktop/model/parameters_file.hpp"
#include "desktop/model/settings_table.hpp"
#include "engine/fonts/font_choice.hpp"
#include "engine/pdf/pdf_exception.hpp"
#include "engine/service/ansi_text.hpp"
#include "tavrixrt/text.hpp"

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

// The quick positions keep the margins that their Letter-page numbers give (10 and 780 from the
// bottom, 20, 280 and 560 from the left of a 612 x 792 page), but measure from the edge they sit
// at, so that "Bottom Right" and "Top" land in the same place on every page size: on Letter
// exactly where the numbers put them, on A4 or a landscape page in the same corner.
struct QuickPosition {
    double vertical;
    double horizontal;
    bool fromRight;
    bool fromTop;
    bool asksToCentre;
};
const QuickPosition kQuickPositions[6] = {
    {10, 20, false, false, false}, // Bottom Left
    {10, 52, true, false, false},  // Bottom Right: 560 from the left of Letter
    {10, 280, false, false, true}, // Bottom Middle
    {12, 20, false, true, false},  // Top Left: 780 from the bottom of Letter
    {12, 52, true, true, false},   // Top Right
    {12, 280, false, true, true}}; // Top Middle

bool endsWithPdf(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".pdf";
}

// Characters of `text` that Windows-1252, the stamp's basic character set, has no code for; the
// engine draws them with an embedded subset of an installed font.
std::string outsideBasicSet(const std::string& text) {
    std::string missing;
    const std::u16string units = tavrixrt::utf16FromUtf8(text);
    for (size_t i = 0; i < units.size(); ++i) {
        size_t length = 1;
        if (units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < units.size()) length = 2;
        const std::string one =
            tavrixrt::utf8FromUtf16(std::u16string_view(units).substr(i, length));
        i += length - 1;
        if (one != "?" && tavrix::utf8ToWindows1252(one) == "?" &&
            missing.find(one) == std::string::npos)
            missing += one;
    }
    return missing;
}

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

MainWindow::MainWindow(Platform& platform, EngineRuntime& runtime,
                       std::unique_ptr<EngineWorker> worker, TokenExpander expander)
    : platform_(platform), expander_(std::move(expander)),
      engine_(runtime, platform, expander_, std::move(worker)),
      pagePreview_(engine_, platform, runtime), observer_(&noObserver_) {
    engine_.setListener(this);
    refresh();
}

MainWindow::~MainWindow() {
    engine_.setListener(nullptr);
    engine_.close();
}

std::string defaultParametersPath() {
    struct stat st;
    if (::stat(kDefaultParametersFile, &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(kDefaultParametersFile, R_OK) == 0)
        return kDefaultParametersFile;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (config && *config == '/')
        folder = config;
    else if (const char* home = std::getenv("HOME"); home && *home)
        folder = std::string(home) + "/.config";
    else
        return kDefaultParametersFile;
    return folder + "/folvane/" + kDefaultParametersFile;
}

void MainWindow::start() {
    if (!engine_.open()) {
        notifyFields();
        return;
    }
    defaultParametersFile_ = defaultParametersPath();
    currentParametersFile_ = defaultParametersFile_;
    fontListFilled_ = true;
    refresh();
    const CmykValues& form = cmykForm_.values();
    record_.cmykC = form[0];
    record_.cmykM = form[1];
    record_.cmykY = form[2];
    record_.cmykK = form[3];
    loadParameters(currentParametersFile_, true);
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

PageParameters MainWindow::draft() const {
    PageParameters p = record_;
    for (size_t i = 0; i < kFieldCount; ++i) {
        const Field f = static_cast<Field>(i);
        const Setting& s = settingForField(f);
        const std::string& text = fields_.text(f);
        const MemberRef member = s.member(p);
        switch (s.kind) {
        case Kind::Text:
            *std::get<std::string*>(member) = text;
            break;
        case Kind::Flag:
            *std::get<bool*>(member) = fields_.checked(f) != s.shownInverted;
            break;
        case Kind::Integer:
            if (const auto v = parseIntegerField(text); v && !fieldMessage(s, text))
                *std::get<int32_t*>(member) = *v;
            break;
        case Kind::Real:
            if (const auto v = parseRealField(text)) *std::get<double*>(member) = *v;
            break;
        case Kind::Colour:
            break;
        }
    }
    return p;
}

void MainWindow::refreshPreview() {
    preview_ = previewText(draft(), expander_);
    observer_->previewChanged();
    settingsChanged();
}

void MainWindow::settingsChanged() {
    if (!fontListFilled_) return; // start-up was cut short: there is no engine to preview with
    checkStampableTexts();
    pagePreview_.update(draft(), expander_);
}

void MainWindow::checkField(Field f) {
    std::string note = fieldMessage(settingForField(f), fields_.text(f)).value_or("");
    std::string& flag = flags_[static_cast<size_t>(f)];
    if (flag == note) return;
    flag = std::move(note);
    observer_->fieldFlagsChanged();
}

void MainWindow::checkStampableTexts() {
    const PageParameters p = draft();
    constexpr Field kTexts[] = {Field::PrefixText, Field::SeparatorText, Field::EndText};
    std::string outside[3], all;
    for (size_t k = 0; k < 3; ++k) {
        outside[k] = outsideBasicSet(expander_.expand(fields_.text(kTexts[k]), p.inputPath));
        all += outside[k];
    }
    // The engine chooses the faces for the stamp's texts together; the same choice, from the
    // same code, tells the user which font the stamp will embed, or why it cannot be stamped.
    std::string verdict;
    if (!all.empty()) {
        try {
            std::string families;
            const std::u16string units = tavrixrt::utf16FromUtf8(all);
            std::u32string characters;
            for (size_t i = 0; i < units.size(); ++i) {
                char32_t c = units[i];
                if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size())
                    c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
                characters += c;
            }
            for (const tavrix::FaceRef& face :
                 tavrix::chooseFaces(fields_.text(Field::FontName), characters))
                families += (families.empty() ? "" : ", ") + face.family;
            verdict = "Drawn with an embedded subset of " + families + ": ";
        } catch (const tavrix::CPdfException& e) {
            verdict = "Cannot be stamped: " + e.reason() + ": ";
        }
    }
    bool changed = false;
    for (size_t k = 0; k < 3; ++k) {
        const Field f = kTexts[k];
        std::string note = outside[k].empty() ? std::string() : verdict + outside[k];
        std::string& flag = flags_[static_cast<size_t>(f)];
        if (flag != note) {
            flag = std::move(note);
            changed = true;
        }
    }
    if (changed) observer_->fieldFlagsChanged();
}

bool MainWindow::readSettings(const std::string& path, bool includePaths, bool reportUnreadable) {
    currentParametersFile_ = path;
    CmykValues form = cmykForm_.values();
    std::string problem;
    const bool read = readParametersFile(record_, path, includePaths, &form, &problem);
    cmykForm_.setValues(form);
    if (!read) {
        if (reportUnreadable) {
            const std::string why =
                problem.empty() ? "cannot read '" + path + "': No such file or directory" : problem;
            platform_.showError("The settings were not loaded: " + why + ".", kProgramCaption);
        }
        return false;
    }
    refresh();
    refreshPreview();
    observer_->swatchChanged();
    return true;
}

bool MainWindow::loadParameters(const std::string& path, bool includePaths) {
    return readSettings(path, includePaths, false);
}

void MainWindow::saveParameters() {
    storeShownPosition(record_);
    if (currentParametersFile_ == defaultParametersFile_ &&
        currentParametersFile_ != kDefaultParametersFile) {
        // The configuration folder may not exist yet on a first start.
        std::error_code ec;
        std::filesystem::create_directories(
            std::filesystem::path(currentParametersFile_).parent_path(), ec);
    }
    if (!writeParametersFile(record_, currentParametersFile_)) {
        platform_.showMessage("Can't save to :" + currentParametersFile_);
        return;
    }
    if (currentParametersFile_ != defaultParametersFile_)
        platform_.showMessage("Saved to file: " + currentParametersFile_);
}

void MainWindow::end(WindowEnd how) {
    ended_ = how;
    observer_->windowEnded(how);
}

void MainWindow::applyText() {
    // A field that does not read stops the command: stamping with the previous values of the
    // fields after it could overwrite an earlier result under a name the window no longer shows.
    if (!commit()) return;
    if (!endsWithPdf(record_.outputPath) && !record_.outputPath.empty() &&
        !record_.inputPath.ends_with(".txt")) {
        record_.outputPath += ".pdf";
        fields_.setText(Field::OutputPath, record_.outputPath);
        notifyFields();
    }
    engine_.applyText(record_);
}

void MainWindow::closeButton() {
    // The fields are committed before the settings are written, so the next start shows what
    // the window showed when it was closed.
    commit();
    if (!defaultParametersFile_.empty() && currentParametersFile_ == defaultParametersFile_)
        saveParameters();
    engine_.close();
    end(WindowEnd::CloseButton);
}

void MainWindow::closeFrame() {
    engine_.close();
    end(WindowEnd::Frame);
}

void MainWindow::enterKey() {
    // Enter confirms what was typed; ending the program is left to Close and Escape.
    if (commit()) refreshPreview();
}

void MainWindow::escapeKey() {
    closeFrame();
}

void MainWindow::loadSettings() {
    commit();
    const auto file = platform_.chooseFileToOpen(
        {"Open Page Parameters File", kPpfFilters, "", currentParametersFile_});
    if (!file) return;
    // A file without a TEXTCOLOR line loads as black; a cancelled choice keeps the colour.
    record_.textColor = 0;
    observer_->swatchChanged();
    readSettings(*file, false, true);
    refreshPreview();
}

void MainWindow::saveSettings() {
    // Without a settings file (start-up was cut short) there is no name to save to: ask for one.
    if (currentParametersFile_.empty()) {
        saveSettingsAs();
        return;
    }
    commit();
    saveParameters();
}

void MainWindow::saveSettingsAs() {
    commit();
    refresh();
    const auto file = platform_.chooseFileToSave(
        {"Save Page Parameters File", kPpfFilters, "PPF", currentParametersFile_});
    if (!file) return;
    currentParametersFile_ = *file;
    saveParameters();
}

void MainWindow::browseInput() {
    commit();
    const auto file =
        platform_.chooseFileToOpen({"Select pdf file", kPdfFilters, "pdf", record_.inputPath});
    if (!file) return;
    record_.inputPath = *file;
    suggestOutput();
    refresh();
    refreshPreview();
}

void MainWindow::browseOutput() {
    commit();
    refresh();
    const std::string near = record_.outputPath.empty() ? record_.inputPath : record_.outputPath;
    const auto file = platform_.chooseFileToSave({"Save to PDF File", kPdfFilters, "pdf", near});
    if (!file) return;
    record_.outputPath = *file;
    refresh();
}

void MainWindow::suggestOutput() {
    // An empty Out: gets NAME-numbered.pdf beside the input.
    if (!record_.outputPath.empty() || !endsWithPdf(record_.inputPath)) return;
    record_.outputPath =
        record_.inputPath.substr(0, record_.inputPath.size() - 4) + "-numbered.pdf";
}

void MainWindow::viewInput() {
    if (!record_.inputPath.empty()) platform_.openWithShell(record_.inputPath);
}

void MainWindow::viewOutput() {
    if (!record_.outputPath.empty()) platform_.openWithShell(record_.outputPath);
}

void MainWindow::dropFiles(const std::vector<std::string>& paths, bool onOutputRow) {
    bool dropped = false;
    for (const std::string& path : paths) {
        std::error_code ec;
        if (std::filesystem::is_directory(path, ec)) continue;
        (onOutputRow ? record_.outputPath : record_.inputPath) = path;
        dropped = true;
    }
    if (!dropped) return;
    // Only the dropped path's field changes (and an empty Out: gets its suggestion): what the
    // user typed elsewhere stays as typed.
    if (onOutputRow) {
        fields_.setText(Field::OutputPath, record_.outputPath);
    } else {
        fields_.setText(Field::InputPath, record_.inputPath);
        if (fields_.text(Field::OutputPath).empty()) {
            record_.outputPath.clear();
            suggestOutput();
            fields_.setText(Field::OutputPath, record_.outputPath);
        }
    }
    notifyFields();
    refreshPreview();
}

void MainWindow::selectPosition(int index) {
    if (index < 0 || index >= static_cast<int>(positionPresets().size())) return;
    commit();
    PositionSet& at = record_.shown;
    const QuickPosition& quick = kQuickPositions[index];
    at.vertical = quick.vertical;
    at.horizontal = quick.horizontal;
    at.fromRight = quick.fromRight;
    at.fromTop = quick.fromTop;
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
    refreshPreview();
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
    settingsChanged();
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

void MainWindow::textTyped(Field f) {
    // A note already shown goes as soon as the text reads well; a new one waits until the user
    // leaves the field, so that typing is never interrupted.
    if (!flags_[static_cast<size_t>(f)].empty()) checkField(f);
    refreshPreview();
}

void MainWindow::fieldLeft(Field f) {
    checkField(f);
    if (f == Field::InputPath && fields_.text(Field::OutputPath).empty()) {
        PageParameters p = draft();
        if (endsWithPdf(p.inputPath)) {
            fields_.setText(Field::OutputPath,
                            p.inputPath.substr(0, p.inputPath.size() - 4) + "-numbered.pdf");
            notifyFields();
        }
    }
}

void MainWindow::stampStarted(int fileCount) {
    observer_->stampBusy(true);
    if (fileCount > 0) observer_->stampProgress(0, fileCount);
}

void MainWindow::stampProgress(int filesStarted, int fileCount) {
    observer_->stampProgress(filesStarted, fileCount);
}

void MainWindow::stampFinished() {
    observer_->stampBusy(false);
}

void MainWindow::inputAccessChanged() {
    // A protected or damaged input that Apply Text just opened: the preview shows it now.
    settingsChanged();
}

void MainWindow::chooseColour() {
    PageParameters& p = record_;
    if (!p.useCmyk) {
        if (const auto color = platform_.chooseColor(p.textColor)) p.textColor = *color;
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
    settingsChanged();
}

} // namespace folvane
