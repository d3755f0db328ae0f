// MainWindow: the desktop program's one window as a model. It holds the fields as the user typed
// them, the settings record they commit into, the preview text, the CMYK form's own values and the
// engine client, and runs every command of the window. The Qt front end binds widgets to it.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "desktop/model/cmyk_form.hpp"
#include "desktop/model/engine_client.hpp"
#include "desktop/model/page_parameters.hpp"
#include "desktop/model/page_preview.hpp"
#include "desktop/model/platform.hpp"
#include "desktop/model/settings_table.hpp"
#include "desktop/model/text_tokens.hpp"

namespace folvane {

inline constexpr const char* kDefaultParametersFile = "Default.ppf";

// Where the settings live: "Default.ppf" in the working folder when a readable one is there (as
// the program has always kept them), else $XDG_CONFIG_HOME/folvane/Default.ppf (~/.config when
// the variable is unset), so that a program started from the desktop's menu does not write into
// whatever folder it was started in.
std::string defaultParametersPath();
inline constexpr const char* kWindowTitle = "Folvane 1.04";

// The window's fields as the user left them. Text fields hold what was typed; check boxes their
// state.
class WindowFields {
  public:
    const std::string& text(Field f) const { return texts_[index(f)]; }
    void setText(Field f, std::string value) { texts_[index(f)] = std::move(value); }
    bool checked(Field f) const { return checks_[index(f)]; }
    void setChecked(Field f, bool on) { checks_[index(f)] = on; }

  private:
    static size_t index(Field f) { return static_cast<size_t>(f); }
    std::array<std::string, kFieldCount> texts_;
    std::array<bool, kFieldCount> checks_{};
};

// The preset lists of the editable lists.
const std::vector<std::string>& positionPresets();
const std::vector<std::string>& separatorPresets();
const std::vector<std::string>& prefixPresets();
const std::vector<std::string>& endPresets();

// How the window was left.
enum class WindowEnd { Open, CloseButton, Frame, EnterKey, EscapeKey };

// Told about changes that the window must show.
class WindowObserver {
  public:
    virtual ~WindowObserver() = default;
    virtual void fieldsChanged() {}        // after refresh(): show every field again
    virtual void previewChanged() {}       // the preview text changed
    virtual void swatchChanged() {}        // textColor may have changed
    virtual void focusField(Field) {}      // a field failed its commit
    virtual void windowEnded(WindowEnd) {} // close the window
    virtual void fieldFlagsChanged() {}    // a field's problem note changed
    virtual void stampBusy(bool) {}        // Apply Text started or ended
    virtual void stampProgress(int /*filesStarted*/, int /*fileCount*/) {}
};

class MainWindow : private StampListener {
  public:
    MainWindow(Platform& platform, EngineRuntime& runtime, std::unique_ptr<EngineWorker> worker,
               TokenExpander expander = TokenExpander());
    ~MainWindow() override;

    void setObserver(WindowObserver* observer) { observer_ = observer; }

    // The start-up sequence: engine, the settings file, hints are the view's part.
    void start();

    WindowFields& fields() { return fields_; }
    const PageParameters& record() const { return record_; }
    PageParameters& record() { return record_; }
    const std::string& currentParametersFile() const { return currentParametersFile_; }
    const std::string& preview() const { return preview_; }
    CmykForm& cmykForm() { return cmykForm_; }
    bool fontListFilled() const { return fontListFilled_; }
    WindowEnd ended() const { return ended_; }
    PagePreview& pagePreview() { return pagePreview_; }
    bool stamping() const { return engine_.stamping(); }
    // A note beside a field: a number that does not read, or a text the engine cannot stamp.
    const std::string& fieldFlag(Field f) const { return flags_[static_cast<size_t>(f)]; }
    // The record with every field that reads well taken over, without messages: what the previews
    // show while the user types.
    PageParameters draft() const;

    // Copies the fields into the record in commit order; the first bad field shows its message,
    // takes the focus and leaves the fields after it uncommitted.
    bool commit();
    void refresh();
    void refreshPreview();

    // Page parameters files.
    bool loadParameters(const std::string& path, bool includePaths);
    void saveParameters();

    // Commands.
    void applyText();
    void closeButton();
    void closeFrame();
    void enterKey();
    void escapeKey();
    void loadSettings();
    void saveSettings();
    void saveSettingsAs();
    void browseInput();
    void browseOutput();
    void viewInput();
    void viewOutput();
    // Files dropped onto the window; `onOutputRow` when the drop point lies on the "Out:" row.
    void dropFiles(const std::vector<std::string>& paths, bool onOutputRow);
    void selectPosition(int index);
    // A check box was clicked: the field already holds its new state.
    void checkClicked(Field f);
    // A preset was chosen in the prefix, separator or end list.
    void choosePreset(Field f, const std::string& preset);
    // The user typed in a field: the previews follow, nothing is checked or committed yet.
    void textTyped(Field f);
    // The user left a field: its text is checked and a note is set beside it when it is bad.
    void fieldLeft(Field f);
    void chooseColour();

  private:
    void end(WindowEnd how);
    void notifyFields();
    void toggleUseCmyk();
    void settingsChanged();
    void checkField(Field f);
    void checkStampableTexts();
    void suggestOutput();
    bool readSettings(const std::string& path, bool includePaths, bool reportUnreadable);
    // StampListener
    void stampStarted(int fileCount) override;
    void stampProgress(int filesStarted, int fileCount) override;
    void stampFinished() override;
    void inputAccessChanged() override;

    Platform& platform_;
    TokenExpander expander_;
    EngineClient engine_;
    PagePreview pagePreview_;
    WindowObserver* observer_ = nullptr;
    WindowObserver noObserver_;

    WindowFields fields_;
    PageParameters record_;
    std::string currentParametersFile_;
    std::string defaultParametersFile_; // the file Close writes back
    std::array<std::string, kFieldCount> flags_;
    std::string preview_;
    CmykForm cmykForm_;
    bool fontListFilled_ = false;
    WindowEnd ended_ = WindowEnd::Open;
};

} // namespace folvane
