#include "desktop/ui/qt_platform.hpp"

#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>
#include <QUrl>

#include "desktop/model/colour.hpp"
#include "desktop/ui/cmyk_dialog.hpp"

namespace folvane {

Answer QtPlatform::showMessage(const std::string& text, const std::string& caption,
                               Buttons buttons) {
    // Some messages carry CR LF line breaks; Qt shows a bare LF as the line break.
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(buttons == Buttons::Ok ? QMessageBox::Information : QMessageBox::Question,
                    QString::fromStdString(caption), shown, QMessageBox::NoButton, parent_);
    box.setTextFormat(Qt::PlainText);
    if (buttons == Buttons::Ok) {
        box.setStandardButtons(QMessageBox::Ok);
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
        return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
    }
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
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst().toStdString();
}

std::optional<std::string> QtPlatform::chooseFileToOpen(const FileChoice& choice) {
    return chooseFile(choice, false);
}

std::optional<std::string> QtPlatform::chooseFileToSave(const FileChoice& choice) {
    return chooseFile(choice, true);
}

std::optional<uint32_t> QtPlatform::chooseColor() {
    // QColorDialog keeps its sixteen custom colours for the life of the program.
    const QColor chosen = QColorDialog::getColor(Qt::white, parent_, QString());
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
