#include "desktop/ui/qt_platform.hpp"

#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include "desktop/model/colour.hpp"
#include "desktop/ui/cmyk_dialog.hpp"

namespace folvane {

Answer QtPlatform::showMessage(const std::string& text, const std::string& caption, Buttons buttons,
                               Tone tone) {
    // Some messages carry CR LF line breaks; Qt shows a bare LF as the line break.
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QMessageBox::Icon icon = tone == Tone::Error      ? QMessageBox::Critical
                                   : buttons == Buttons::Ok ? QMessageBox::Information
                                                            : QMessageBox::Question;
    QMessageBox box(icon, QString::fromStdString(caption), shown, QMessageBox::NoButton, parent_);
    box.setTextFormat(Qt::PlainText);
    if (buttons == Buttons::Ok) {
        box.setStandardButtons(QMessageBox::Ok);
    } else if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        return buttons == Buttons::Ok      ? Answer::Ok
               : buttons == Buttons::YesNo ? Answer::No
                                           : Answer::Cancel;
    }
}

std::optional<std::string> QtPlatform::askPassword(const std::string& text,
                                                   const std::string& caption) {
    QInputDialog dialog(parent_);
    dialog.setObjectName(QStringLiteral("passwordDialog"));
    dialog.setWindowTitle(QString::fromStdString(caption));
    dialog.setLabelText(QString::fromStdString(text));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextEchoMode(QLineEdit::Password);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.textValue().toStdString();
}

std::optional<std::string> QtPlatform::chooseFile(const FileChoice& choice, bool forSaving) {
    QFileDialog dialog(parent_, QString::fromStdString(choice.title));
    dialog.setAcceptMode(forSaving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(forSaving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    QStringList filters;
    for (const FileFilter& f : choice.filters)
        filters << QString::fromStdString(f.label + " (" + f.pattern + ")");
    dialog.setNameFilters(filters);
    if (!choice.defaultExtension.empty())
        dialog.setDefaultSuffix(QString::fromStdString(choice.defaultExtension));
    if (!choice.startAt.empty()) {
        // Open beside the current file; a save chooser also proposes its name.
        const QFileInfo at(QString::fromStdString(choice.startAt));
        if (at.absoluteDir().exists()) dialog.setDirectory(at.absoluteDir());
        if (forSaving && !at.isDir()) dialog.selectFile(at.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst().toStdString();
}

std::optional<std::string> QtPlatform::chooseFileToOpen(const FileChoice& choice) {
    return chooseFile(choice, false);
}

std::optional<std::string> QtPlatform::chooseFileToSave(const FileChoice& choice) {
    return chooseFile(choice, true);
}

std::optional<uint32_t> QtPlatform::chooseColor(uint32_t current) {
    // QColorDialog keeps its sixteen custom colours for the life of the program. It opens at the
    // current colour, so that OK straight away keeps it.
    const QColor start(static_cast<int>(redOf(current)), static_cast<int>(greenOf(current)),
                       static_cast<int>(blueOf(current)));
    const QColor chosen = QColorDialog::getColor(start, parent_, QString());
    if (!chosen.isValid()) return std::nullopt;
    return makeColor(static_cast<uint32_t>(chosen.red()), static_cast<uint32_t>(chosen.green()),
                     static_cast<uint32_t>(chosen.blue()));
}

bool QtPlatform::editCmyk(CmykForm& form) {
    CmykDialog dialog(form, *this, parent_);
    return dialog.exec() == QDialog::Accepted;
}

void QtPlatform::openWithShell(const std::string& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

} // namespace folvane

namespace folvane {
namespace {

class QtTimer final : public Timer {
  public:
    QtTimer() {
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (fire_) fire_();
        });
    }
    void start(int milliseconds, std::function<void()> fire) override {
        fire_ = std::move(fire);
        timer_.start(milliseconds);
    }
    void stop() override { timer_.stop(); }

  private:
    QTimer timer_;
    std::function<void()> fire_;
};

} // namespace

void QtPlatform::postToUi(std::function<void()> work) {
    QMetaObject::invokeMethod(&context_, std::move(work), Qt::QueuedConnection);
}

std::unique_ptr<Timer> QtPlatform::createTimer() {
    return std::make_unique<QtTimer>();
}

} // namespace folvane
