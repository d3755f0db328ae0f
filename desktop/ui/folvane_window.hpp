// The Qt window over the MainWindow model: builds the widgets, keeps the model's fields in step
// with what the user types, and routes clicks, keys, drops and the close box to its commands.
// The settings scroll beside the page preview, so the window fits small and scaled screens.
#pragma once

#include <QList>
#include <QMainWindow>
#include <QPoint>
#include <QUrl>
#include <array>

#include "desktop/model/main_window.hpp"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QScrollArea;

namespace folvane {

class PreviewPane;

class FolvaneWindow : public QMainWindow, public WindowObserver {
  public:
    explicit FolvaneWindow(MainWindow& model, QWidget* parent = nullptr);
    ~FolvaneWindow() override;

    // The widget that edits field `f` (a line edit, an editable list or a check box).
    QWidget* widgetFor(Field f) const { return widgets_[static_cast<size_t>(f)]; }
    // The note shown beside field `f` (hidden when the field has none).
    QLabel* flagFor(Field f) const { return flags_[static_cast<size_t>(f)]; }
    QPushButton* swatch() const { return swatch_; }
    QLineEdit* previewField() const { return preview_; }
    PreviewPane* previewPane() const { return previewPane_; }

    // Files dropped at `windowPos`: on the "Out:" row they name the output, elsewhere the input.
    void dropUrls(const QList<QUrl>& urls, QPoint windowPos);

    // WindowObserver
    void fieldsChanged() override;
    void previewChanged() override;
    void swatchChanged() override;
    void focusField(Field f) override;
    void windowEnded(WindowEnd how) override;
    void fieldFlagsChanged() override;
    void stampBusy(bool busy) override;
    void stampProgress(int filesStarted, int fileCount) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* addLineEdit(Field f, const char* objectName, int width = 0);
    QWidget* addList(Field f, const char* objectName, const std::vector<std::string>& items);
    QCheckBox* addCheck(Field f, const char* label, const char* objectName);
    QWidget* withFlag(Field f, QWidget* editor);
    void buildMenus();
    QWidget* buildFiles();
    QGroupBox* buildText();
    QGroupBox* buildPages();
    QGroupBox* buildFont();
    QGroupBox* buildPosition();
    QWidget* buildButtons();
    void installHints();
    void watchControls();
    bool onOutputRow(int windowY) const;
    Field fieldOf(QObject* watched) const;

    MainWindow& model_;
    std::array<QWidget*, kFieldCount> widgets_{};
    std::array<QLabel*, kFieldCount> flags_{};
    QPushButton* swatch_ = nullptr;
    QLineEdit* preview_ = nullptr;
    QComboBox* fontList_ = nullptr;
    QPushButton* apply_ = nullptr;
    QScrollArea* settings_ = nullptr;
    PreviewPane* previewPane_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* progressText_ = nullptr;
    QWidget* outputRow_ = nullptr;
    bool ended_ = false;
};

} // namespace folvane
