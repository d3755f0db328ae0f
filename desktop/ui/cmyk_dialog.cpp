#include "desktop/ui/cmyk_dialog.hpp"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "desktop/model/cmyk_form.hpp"
#include "desktop/ui/swatch_style.hpp"

namespace folvane {

CmykDialog::CmykDialog(CmykForm& form, Platform& platform, QWidget* parent)
    : QDialog(parent), form_(form), platform_(platform) {
    setWindowTitle(QStringLiteral("CMYK Values"));
    setObjectName(QStringLiteral("cmykDialog"));
    auto* grid = new QGridLayout(this);
    const char* names[4] = {"C:", "M:", "Y:", "K:"};
    const char* objectNames[4] = {"cyan", "magenta", "yellow", "black"};
    for (int i = 0; i < 4; ++i) {
        grid->addWidget(new QLabel(QString::fromLatin1(names[i]), this), i, 0);
        auto* field = new QLineEdit(QString::fromStdString(form_.fieldText(i)), this);
        field->setObjectName(QString::fromLatin1(objectNames[i]));
        field->setToolTip(QStringLiteral("Enter 0-100 %"));
        field->setMaximumWidth(60);
        connect(field, &QLineEdit::textEdited, this,
                [this, i](const QString& text) { fieldEdited(i, text); });
        grid->addWidget(field, i, 1);
        grid->addWidget(new QLabel(QStringLiteral("%"), this), i, 2);
        fields_[static_cast<size_t>(i)] = field;
    }
    swatch_ = new QLabel(this);
    swatch_->setMinimumSize(60, 60);
    grid->addWidget(swatch_, 0, 3, 4, 1);
    auto* note = new QLabel(
        QStringLiteral(
            "NOTE: The colored box is a rough RGB guide only, the actual values will be used."),
        this);
    note->setWordWrap(true);
    grid->addWidget(note, 4, 0, 1, 4);
    auto* buttons = new QHBoxLayout;
    auto* save = new QPushButton(QStringLiteral("Save/Exit"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    save->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 5, 0, 1, 4);
    connect(save, &QPushButton::clicked, this, &CmykDialog::saveAndExit);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    paintSwatch();
}

void CmykDialog::fieldEdited(int index, const QString& text) {
    form_.setFieldText(index, text.toStdString());
    form_.commitFields(platform_);
    paintSwatch();
}

void CmykDialog::saveAndExit() {
    for (int i = 0; i < 4; ++i)
        form_.setFieldText(i, fields_[static_cast<size_t>(i)]->text().toStdString());
    if (form_.commitFields(platform_)) {
        accept();
        return;
    }
    if (form_.failedField() >= 0) fields_[static_cast<size_t>(form_.failedField())]->setFocus();
}

void CmykDialog::paintSwatch() {
    swatch_->setStyleSheet(swatchStyle(form_.swatchColor()));
}

} // namespace folvane
