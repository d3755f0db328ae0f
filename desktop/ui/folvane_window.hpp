// The Qt window over the MainWindow model: builds the widgets, keeps the model's fields in step
// with what the user types, and routes clicks, keys, drops and the close box to its commands.
#pragma once

#include <QList>
#include <QMainWindow>
#include <QPoint>
#include <QUrl>
#include <array>

#include "desktop/model/main_window.hpp"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace folvane {

class FolvaneWindow : public QMainWindow, public WindowObserver {
  public:
    explicit FolvaneWindow(MainWindow& model, QWidget* parent = nullptr);
    ~FolvaneWindow() override;

    // The widget that edits field `f` (a line edit, an editable list or a check box).
    QWidget* widgetFor(Field f) const { return widgets_[static_cast<size_t>(f)]; }
    QPushButton* swatch() const { return swatch_; }
    QLineEdit* previewField() const { return preview_; }

    // Files dropped at `windowPos`: on the "Out:" row they name the output, elsewhere the input.
    void dropUrls(const QList<QUrl>& urls, QPoint windowPos);

    // WindowObserver
    void fieldsChanged() override;
    void previewChanged() override;
    void swatchChanged() override;
    void focusField(Field f) override;
    void windowEnded(WindowEnd how) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QLineEdit* addLineEdit(Field f, const char* objectName);
    QComboBox* addList(Field f, const char* objectName, const std::vector<std::string>& items);
    QCheckBox* addCheck(Field f, const char* label, const char* objectName);
    void buildMenus();
    QWidget* buildContent();
    void installHints();
    bool onOutputRow(int windowY) const;

    MainWindow& model_;
    std::array<QWidget*, kFieldCount> widgets_{};
    QPushButton* swatch_ = nullptr;
    QLineEdit* preview_ = nullptr;
    QComboBox* fontList_ = nullptr;
    std::array<QWidget*, 4> outputRow_{};
    bool updating_ = false;
    bool ended_ = false;
};

} // namespace folvane
