#include "desktop/ui/folvane_window.hpp"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "desktop/model/font_names.hpp"
#include "desktop/ui/swatch_style.hpp"

namespace folvane {
namespace {

// Hints stay up long enough to read their several lines.
constexpr int kHintMilliseconds = 20000;

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// Fields whose typing commits at once and refreshes the preview.
bool commitsOnChange(Field f) {
    return f == Field::PrefixText || f == Field::SeparatorText || f == Field::EndText ||
           f == Field::MaskDigits || f == Field::FirstPage || f == Field::FirstNumber;
}

} // namespace

FolvaneWindow::FolvaneWindow(MainWindow& model, QWidget* parent)
    : QMainWindow(parent), model_(model) {
    setWindowTitle(QString::fromLatin1(kWindowTitle));
    setObjectName(QStringLiteral("folvaneWindow"));
    setAcceptDrops(true);
    buildMenus();
    setCentralWidget(buildContent());
    installHints();
    for (QLineEdit* edit : findChildren<QLineEdit*>())
        edit->installEventFilter(this);
    for (QCheckBox* box : findChildren<QCheckBox*>())
        box->installEventFilter(this);
    model_.setObserver(this);
    fieldsChanged();
    swatchChanged();
}

FolvaneWindow::~FolvaneWindow() {
    model_.setObserver(nullptr);
}

void FolvaneWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    connect(file->addAction(QStringLiteral("Load Settings")), &QAction::triggered, this,
            [this] { model_.loadSettings(); });
    connect(file->addAction(QStringLiteral("Save Settings")), &QAction::triggered, this,
            [this] { model_.saveSettings(); });
    connect(file->addAction(QStringLiteral("Save Settings As")), &QAction::triggered, this,
            [this] { model_.saveSettingsAs(); });
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    connect(help->addAction(QStringLiteral("About Folvane")), &QAction::triggered, this, [this] {
        QMessageBox::about(this, QStringLiteral("About Folvane"),
                           QStringLiteral("Folvane 1.04\n\nPage numbers and short texts stamped "
                                          "onto the pages of PDF files."));
    });
}

QLineEdit* FolvaneWindow::addLineEdit(Field f, const char* objectName) {
    auto* edit = new QLineEdit;
    edit->setObjectName(QString::fromLatin1(objectName));
    widgets_[static_cast<size_t>(f)] = edit;
    connect(edit, &QLineEdit::textEdited, this, [this, f](const QString& text) {
        model_.fields().setText(f, text.toStdString());
        if (commitsOnChange(f)) model_.textTyped(f);
    });
    return edit;
}

QComboBox* FolvaneWindow::addList(Field f, const char* objectName,
                                  const std::vector<std::string>& items) {
    auto* list = new QComboBox;
    list->setObjectName(QString::fromLatin1(objectName));
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    for (const std::string& item : items)
        list->addItem(qs(item));
    widgets_[static_cast<size_t>(f)] = list;
    connect(list->lineEdit(), &QLineEdit::textEdited, this, [this, f](const QString& text) {
        model_.fields().setText(f, text.toStdString());
        if (commitsOnChange(f)) model_.textTyped(f);
    });
    return list;
}

QCheckBox* FolvaneWindow::addCheck(Field f, const char* label, const char* objectName) {
    auto* box = new QCheckBox(QString::fromLatin1(label));
    box->setObjectName(QString::fromLatin1(objectName));
    widgets_[static_cast<size_t>(f)] = box;
    connect(box, &QCheckBox::clicked, this, [this, f](bool checked) {
        model_.fields().setChecked(f, checked);
        model_.checkClicked(f);
    });
    return box;
}

QWidget* FolvaneWindow::buildContent() {
    auto* content = new QWidget;
    auto* top = new QVBoxLayout(content);

    // Input and output files.
    auto* files = new QGridLayout;
    auto fileRow = [&](int row, const char* label, Field f, const char* name, auto browse,
                       auto view) {
        auto* caption = new QLabel(QString::fromLatin1(label));
        QLineEdit* edit = addLineEdit(f, name);
        edit->setMinimumWidth(420);
        auto* browseButton = new QPushButton(QStringLiteral("Browse"));
        auto* viewButton = new QPushButton(QStringLiteral("View"));
        browseButton->setObjectName(QString::fromLatin1(name) + QStringLiteral("Browse"));
        viewButton->setObjectName(QString::fromLatin1(name) + QStringLiteral("View"));
        connect(browseButton, &QPushButton::clicked, this, browse);
        connect(viewButton, &QPushButton::clicked, this, view);
        files->addWidget(caption, row, 0);
        files->addWidget(edit, row, 1);
        files->addWidget(browseButton, row, 2);
        files->addWidget(viewButton, row, 3);
        return std::array<QWidget*, 4>{caption, edit, browseButton, viewButton};
    };
    fileRow(
        0, "In:", Field::InputPath, "inputPath", [this] { model_.browseInput(); },
        [this] { model_.viewInput(); });
    outputRow_ = fileRow(
        1, "Out:", Field::OutputPath, "outputPath", [this] { model_.browseOutput(); },
        [this] { model_.viewOutput(); });
    top->addLayout(files);

    auto* columns = new QHBoxLayout;
    top->addLayout(columns);

    // Pages and numbering.
    auto* pages = new QGroupBox(QStringLiteral("Pages and numbering"));
    auto* pageGrid = new QGridLayout(pages);
    auto numberRow = [&](int row, int column, const char* label, Field f, const char* name) {
        pageGrid->addWidget(new QLabel(QString::fromLatin1(label)), row, column);
        QLineEdit* edit = addLineEdit(f, name);
        edit->setMaximumWidth(80);
        pageGrid->addWidget(edit, row, column + 1);
    };
    numberRow(0, 0, "Page to start processing at:", Field::FirstPage, "firstPage");
    numberRow(1, 0, "Page to end processing at:", Field::LastPage, "lastPage");
    numberRow(2, 0, "Page numbering to start at:", Field::FirstNumber, "firstNumber");
    numberRow(3, 0, "Page numbering to end at:", Field::LastNumber, "lastNumber");
    numberRow(4, 0, "Mask page numbers with n 0's:", Field::MaskDigits, "maskDigits");
    numberRow(5, 0, "Only page number 1 in nth:", Field::Nth, "nth");
    int row = 6;
    auto checkRow = [&](Field f, const char* label, const char* name) {
        pageGrid->addWidget(addCheck(f, label, name), row++, 0, 1, 2);
    };
    checkRow(Field::Reverse, "Reverse page numbering", "reverse");
    checkRow(Field::Sequential, "1 in nth sequential page", "sequential");
    checkRow(Field::TwoUp, "2-Up page numbering", "twoUp");
    checkRow(Field::AbTwoUp, "A/B 2-Up page numbering", "abTwoUp");
    checkRow(Field::OnePageNumberOnly, "One page number only", "onePageNumberOnly");
    checkRow(Field::NoPageNumbers, "No Page Numbers just text", "noPageNumbers");
    auto* roman = new QHBoxLayout;
    roman->addWidget(addCheck(Field::RomanUpper, "Roman Numeral numbering: XIII", "romanUpper"));
    roman->addWidget(addCheck(Field::RomanLower, "xiii  ", "romanLower"));
    roman->addStretch();
    pageGrid->addLayout(roman, row++, 0, 1, 2);
    checkRow(Field::ForcePortrait, "Force portrait text when landscape", "forcePortrait");
    pageGrid->setRowStretch(row, 1);
    columns->addWidget(pages);

    auto* right = new QVBoxLayout;
    columns->addLayout(right);

    // Texts.
    auto* texts = new QGroupBox(QStringLiteral("Text"));
    auto* textGrid = new QGridLayout(texts);
    auto textRow = [&](int r, const char* label, Field f, const char* name,
                       const std::vector<std::string>& presets) {
        textGrid->addWidget(new QLabel(QString::fromLatin1(label)), r, 0);
        QComboBox* list = addList(f, name, presets);
        list->setMinimumWidth(300);
        connect(list, &QComboBox::activated, this, [this, f, list](int index) {
            model_.choosePreset(f, list->itemText(index).toStdString());
        });
        textGrid->addWidget(list, r, 1);
    };
    textRow(0, "Prefix with text:", Field::PrefixText, "prefixText", prefixPresets());
    textRow(1, "Separate text with:", Field::SeparatorText, "separatorText", separatorPresets());
    textRow(2, "End with text:", Field::EndText, "endText", endPresets());
    textGrid->addWidget(new QLabel(QStringLiteral("Preview text:")), 3, 0);
    preview_ = new QLineEdit;
    preview_->setObjectName(QStringLiteral("previewText"));
    preview_->setReadOnly(true);
    textGrid->addWidget(preview_, 3, 1);
    right->addWidget(texts);

    // Font and colour.
    auto* font = new QGroupBox(QStringLiteral("Font"));
    auto* fontGrid = new QGridLayout(font);
    fontGrid->addWidget(new QLabel(QStringLiteral("Font name:")), 0, 0);
    fontList_ = addList(Field::FontName, "fontName", {});
    connect(fontList_, &QComboBox::activated, this, [this](int index) {
        model_.fields().setText(Field::FontName, fontList_->itemText(index).toStdString());
    });
    fontGrid->addWidget(fontList_, 0, 1, 1, 3);
    fontGrid->addWidget(new QLabel(QStringLiteral("Font Size:")), 1, 0);
    fontGrid->addWidget(addLineEdit(Field::FontSize, "fontSize"), 1, 1);
    fontGrid->addWidget(new QLabel(QStringLiteral("Degrees Angle of Text:")), 1, 2);
    fontGrid->addWidget(addLineEdit(Field::Angle, "angle"), 1, 3);
    fontGrid->addWidget(new QLabel(QStringLiteral("Text Color:")), 2, 0);
    swatch_ = new QPushButton;
    swatch_->setObjectName(QStringLiteral("textColor"));
    swatch_->setFixedSize(48, 22);
    connect(swatch_, &QPushButton::clicked, this, [this] { model_.chooseColour(); });
    fontGrid->addWidget(swatch_, 2, 1);
    fontGrid->addWidget(addCheck(Field::UseCmyk, "Use CMYK", "useCmyk"), 2, 2);
    auto* opacity = new QHBoxLayout;
    opacity->addWidget(new QLabel(QStringLiteral("Opacity:")));
    QLineEdit* opacityEdit = addLineEdit(Field::Opacity, "opacity");
    opacityEdit->setMaximumWidth(50);
    opacity->addWidget(opacityEdit);
    opacity->addWidget(new QLabel(QStringLiteral("%")));
    fontGrid->addLayout(opacity, 2, 3);
    right->addWidget(font);

    // Position.
    auto* position = new QGroupBox(QStringLiteral("Position"));
    auto* positionGrid = new QGridLayout(position);
    positionGrid->addWidget(new QLabel(QStringLiteral("Position:")), 0, 0);
    QComboBox* positions = addList(Field::PositionName, "positionName", positionPresets());
    connect(positions, &QComboBox::activated, this, [this, positions](int index) {
        model_.selectPosition(index);
        positions->setCurrentIndex(index);
    });
    positionGrid->addWidget(positions, 0, 1, 1, 3);
    positionGrid->addWidget(new QLabel(QStringLiteral("Vertical from Bottom:")), 1, 0);
    positionGrid->addWidget(addLineEdit(Field::Vertical, "vertical"), 1, 1);
    positionGrid->addWidget(
        addCheck(Field::FromBottom, "Calculate vertical from Bottom:", "fromBottom"), 1, 2);
    positionGrid->addWidget(addCheck(Field::FromTop, "Top: ", "fromTop"), 1, 3);
    positionGrid->addWidget(new QLabel(QStringLiteral("Horizontal from Left:")), 2, 0);
    positionGrid->addWidget(addLineEdit(Field::Horizontal, "horizontal"), 2, 1);
    positionGrid->addWidget(
        addCheck(Field::FromLeft, "Calculate horizontal from Left:", "fromLeft"), 2, 2);
    positionGrid->addWidget(addCheck(Field::FromRight, "Right: ", "fromRight"), 2, 3);
    auto* align = new QHBoxLayout;
    align->addWidget(addCheck(Field::AlignLeft, "&Align Text: Left", "alignLeft"));
    align->addWidget(addCheck(Field::AlignRight, "Right", "alignRight"));
    align->addWidget(addCheck(Field::AlignCenter, "Center", "alignCenter"));
    align->addStretch();
    positionGrid->addLayout(align, 3, 0, 1, 4);
    right->addWidget(position);
    right->addStretch();

    // Buttons. The window has no default button: Enter means OK.
    auto* buttons = new QHBoxLayout;
    auto* apply = new QPushButton(QStringLiteral("&Apply Text"));
    auto* close = new QPushButton(QStringLiteral("&Close"));
    apply->setObjectName(QStringLiteral("applyText"));
    close->setObjectName(QStringLiteral("close"));
    connect(apply, &QPushButton::clicked, this, [this] { model_.applyText(); });
    connect(close, &QPushButton::clicked, this, [this] { model_.closeButton(); });
    buttons->addStretch();
    buttons->addWidget(apply);
    buttons->addWidget(close);
    top->addLayout(buttons);
    return content;
}

void FolvaneWindow::installHints() {
    auto hint = [](QWidget* w, const char* text) {
        w->setToolTip(QString::fromLatin1(text));
        w->setToolTipDuration(kHintMilliseconds);
    };
    hint(widgetFor(Field::LastPage),
         "Page to end applying at in the pdf file e.g. 5\nfor all use: 99999");
    hint(widgetFor(Field::LastNumber),
         "The last page number text to apply in the pdf file e.g. 1\nfor all use: 99999");
    hint(widgetFor(Field::Horizontal),
         "Horizontal Position to stamp text on the page\nenter -1 to do center of page.");
    hint(widgetFor(Field::FontSize), "Enter the size of the font to use, NOTE: you can use upto 2 "
                                     "decimal points, e.g. 11.54");
    hint(widgetFor(Field::OnePageNumberOnly),
         "One page number only, e.g. by default you get Page 1 / 10  with one page number only "
         "you get Page 1\nNOTE: don't forget to remove the seperator / below.");
    hint(swatch_, "Select a color to use\nNote: CMYK color in this box is purely a rough guide "
                  "representation on your RGB monitor display.\ni.e. use the values and ignore "
                  "what color is in the box for CMYK.");
    hint(widgetFor(Field::Opacity), "Opacity percentage to use, e.g. 50  for 1/2, 100 for "
                                    "full\nthis is generally used for wartermarking a pdf file.");
}

void FolvaneWindow::fieldsChanged() {
    if (model_.fontListFilled() && fontList_->count() == 0)
        for (std::string_view name : builtInFontNames())
            fontList_->addItem(
                QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    updating_ = true;
    WindowFields& fields = model_.fields();
    for (size_t i = 0; i < kFieldCount; ++i) {
        const Field f = static_cast<Field>(i);
        QWidget* w = widgets_[i];
        if (auto* box = qobject_cast<QCheckBox*>(w)) {
            box->setChecked(fields.checked(f));
        } else if (auto* list = qobject_cast<QComboBox*>(w)) {
            const QString text = qs(fields.text(f));
            if (list->currentText() != text) list->setEditText(text);
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            const QString text = qs(fields.text(f));
            if (edit->text() != text) edit->setText(text);
        }
    }
    updating_ = false;
}

void FolvaneWindow::previewChanged() {
    preview_->setText(qs(model_.preview()));
}

void FolvaneWindow::swatchChanged() {
    swatch_->setStyleSheet(swatchStyle(model_.record().textColor));
}

void FolvaneWindow::focusField(Field f) {
    QWidget* w = widgetFor(f);
    if (!w) return;
    w->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->selectAll();
}

void FolvaneWindow::windowEnded(WindowEnd) {
    ended_ = true;
    close();
}

void FolvaneWindow::closeEvent(QCloseEvent* event) {
    if (!ended_) model_.closeFrame(); // the frame's close box: no commit, no save
    event->accept();
}

bool FolvaneWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            model_.enterKey();
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            model_.escapeKey();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void FolvaneWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

bool FolvaneWindow::onOutputRow(int windowY) const {
    int top = INT_MAX, bottom = INT_MIN;
    for (QWidget* w : outputRow_) {
        const QRect r(w->mapTo(this, QPoint(0, 0)), w->size());
        top = std::min(top, r.top());
        bottom = std::max(bottom, r.bottom());
    }
    return windowY >= top && windowY <= bottom;
}

void FolvaneWindow::dropUrls(const QList<QUrl>& urls, QPoint windowPos) {
    std::vector<std::string> paths;
    for (const QUrl& url : urls)
        if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
    model_.dropFiles(paths, onOutputRow(windowPos.y()));
}

void FolvaneWindow::dropEvent(QDropEvent* event) {
    dropUrls(event->mimeData()->urls(), event->position().toPoint());
    event->acceptProposedAction();
}

} // namespace folvane
