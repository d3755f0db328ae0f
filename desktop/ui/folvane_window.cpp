#include "desktop/ui/folvane_window.hpp"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QUrl>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "desktop/model/font_names.hpp"
#include "desktop/ui/preview_pane.hpp"
#include "desktop/ui/swatch_style.hpp"

namespace folvane {
namespace {

// Hints stay up long enough to read their several lines.
constexpr int kHintMilliseconds = 20000;

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QLabel* label(const char* text) {
    return new QLabel(QString::fromLatin1(text));
}

bool isEnterKey(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// Keys with which a closed list would step to another preset.
bool stepsThroughList(const QKeyEvent& key) {
    if (key.modifiers() & Qt::AltModifier) return false; // Alt+Down opens the list
    switch (key.key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return true;
    default:
        return false;
    }
}

} // namespace

FolvaneWindow::FolvaneWindow(MainWindow& model, QWidget* parent)
    : QMainWindow(parent), model_(model) {
    setWindowTitle(QString::fromLatin1(kWindowTitle));
    setObjectName(QStringLiteral("folvaneWindow"));
    setAcceptDrops(true);
    buildMenus();

    // Settings on the left, scrolling when the screen is small; the page preview on the right;
    // the two buttons always in view below them.
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->addWidget(buildFiles());
    column->addWidget(buildText());
    column->addWidget(buildPages());
    column->addWidget(buildFont());
    column->addWidget(buildPosition());
    column->addStretch();
    settings_ = new QScrollArea;
    settings_->setObjectName(QStringLiteral("settings"));
    settings_->setWidget(content);
    settings_->setWidgetResizable(true);
    settings_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    settings_->setMinimumWidth(content->minimumSizeHint().width() + 24);

    previewPane_ = new PreviewPane(model_.pagePreview());
    auto* splitter = new QSplitter;
    splitter->addWidget(settings_);
    splitter->addWidget(previewPane_);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setChildrenCollapsible(false);

    auto* central = new QWidget;
    auto* outer = new QVBoxLayout(central);
    outer->addWidget(splitter, 1);
    outer->addWidget(buildButtons());
    setCentralWidget(central);

    progressText_ = new QLabel;
    progress_ = new QProgressBar;
    progress_->setObjectName(QStringLiteral("stampProgress"));
    progress_->setMaximumWidth(200);
    statusBar()->addWidget(progressText_, 1);
    statusBar()->addPermanentWidget(progress_);
    progress_->hide();

    installHints();
    watchControls();
    model_.setObserver(this);
    fieldsChanged();
    swatchChanged();
    fieldFlagsChanged();

    // Fits the screen it opens on, leaving room for the desktop's panels.
    const QRect screen = QApplication::primaryScreen()
                             ? QApplication::primaryScreen()->availableGeometry()
                             : QRect(0, 0, 1366, 768);
    resize(std::min(1180, screen.width() - 40), std::min(760, screen.height() - 40));
}

FolvaneWindow::~FolvaneWindow() {
    model_.setObserver(nullptr);
}

void FolvaneWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    auto add = [&](const char* text, QKeySequence keys, auto command) {
        QAction* action = file->addAction(QString::fromLatin1(text));
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, command);
    };
    add("&Load Settings", QKeySequence::Open, [this] { model_.loadSettings(); });
    add("&Save Settings", QKeySequence::Save, [this] { model_.saveSettings(); });
    add("Save Settings &As", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S),
        [this] { model_.saveSettingsAs(); });
    file->addSeparator();
    add("&Close", QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { model_.closeButton(); });
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    connect(help->addAction(QStringLiteral("&About Folvane")), &QAction::triggered, this, [this] {
        QMessageBox::about(this, QStringLiteral("About Folvane"),
                           QStringLiteral("Folvane 1.04\n\nPage numbers and short texts stamped "
                                          "onto the pages of PDF files."));
    });
}

QWidget* FolvaneWindow::withFlag(Field f, QWidget* editor) {
    // The note sits under its field, so that a long one never pushes the field out of view.
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    layout->addWidget(editor);
    auto* flag = new QLabel;
    flag->setObjectName(editor->objectName() + QStringLiteral("Flag"));
    flag->setWordWrap(true);
    flag->setStyleSheet(QStringLiteral("color: #b00020;"));
    flag->hide();
    layout->addWidget(flag);
    flags_[static_cast<size_t>(f)] = flag;
    return box;
}

QWidget* FolvaneWindow::addLineEdit(Field f, const char* objectName, int width) {
    auto* edit = new QLineEdit;
    edit->setObjectName(QString::fromLatin1(objectName));
    if (width > 0) edit->setMaximumWidth(width);
    widgets_[static_cast<size_t>(f)] = edit;
    connect(edit, &QLineEdit::textEdited, this, [this, f](const QString& text) {
        model_.fields().setText(f, text.toStdString());
        model_.textTyped(f);
    });
    return withFlag(f, edit);
}

QWidget* FolvaneWindow::addList(Field f, const char* objectName,
                                const std::vector<std::string>& items) {
    auto* list = new QComboBox;
    list->setObjectName(QString::fromLatin1(objectName));
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    // Focus by click or Tab only: the wheel scrolls the window, never the list.
    list->setFocusPolicy(Qt::StrongFocus);
    for (const std::string& item : items)
        list->addItem(qs(item));
    widgets_[static_cast<size_t>(f)] = list;
    connect(list->lineEdit(), &QLineEdit::textEdited, this, [this, f](const QString& text) {
        model_.fields().setText(f, text.toStdString());
        model_.textTyped(f);
    });
    return withFlag(f, list);
}

QCheckBox* FolvaneWindow::addCheck(Field f, const char* text, const char* objectName) {
    auto* box = new QCheckBox(QString::fromLatin1(text));
    box->setObjectName(QString::fromLatin1(objectName));
    widgets_[static_cast<size_t>(f)] = box;
    connect(box, &QCheckBox::clicked, this, [this, f](bool checked) {
        model_.fields().setChecked(f, checked);
        model_.checkClicked(f);
    });
    return box;
}

QWidget* FolvaneWindow::buildFiles() {
    auto* files = new QWidget;
    auto* grid = new QGridLayout(files);
    grid->setContentsMargins(0, 0, 0, 0);
    auto row = [&](int r, const char* caption, Field f, const char* name, auto browse, auto view) {
        grid->addWidget(label(caption), r, 0, Qt::AlignTop);
        QWidget* edit = addLineEdit(f, name);
        edit->setMinimumWidth(220);
        grid->addWidget(edit, r, 1);
        auto* browseButton = new QPushButton(QStringLiteral("Browse"));
        auto* viewButton = new QPushButton(QStringLiteral("View"));
        browseButton->setObjectName(QString::fromLatin1(name) + QStringLiteral("Browse"));
        viewButton->setObjectName(QString::fromLatin1(name) + QStringLiteral("View"));
        connect(browseButton, &QPushButton::clicked, this, browse);
        connect(viewButton, &QPushButton::clicked, this, view);
        grid->addWidget(browseButton, r, 2, Qt::AlignTop);
        grid->addWidget(viewButton, r, 3, Qt::AlignTop);
    };
    row(
        0, "In:", Field::InputPath, "inputPath", [this] { model_.browseInput(); },
        [this] { model_.viewInput(); });
    // The "Out:" row is a widget of its own, so that a drop can be placed by its real geometry.
    outputRow_ = new QWidget;
    auto* out = new QGridLayout(outputRow_);
    out->setContentsMargins(0, 0, 0, 0);
    std::swap(grid, out);
    row(
        0, "Out:", Field::OutputPath, "outputPath", [this] { model_.browseOutput(); },
        [this] { model_.viewOutput(); });
    std::swap(grid, out);
    out->setColumnStretch(1, 1);
    grid->addWidget(outputRow_, 1, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    // Line the two rows' captions up.
    out->setColumnMinimumWidth(0, label("Out:")->sizeHint().width() + 8);
    grid->setColumnMinimumWidth(0, label("Out:")->sizeHint().width() + 8);
    return files;
}

QGroupBox* FolvaneWindow::buildText() {
    auto* group = new QGroupBox(QStringLiteral("Text"));
    auto* grid = new QGridLayout(group);
    auto row = [&](int r, const char* caption, Field f, const char* name,
                   const std::vector<std::string>& presets) {
        grid->addWidget(label(caption), r, 0, Qt::AlignTop);
        grid->addWidget(addList(f, name, presets), r, 1);
        auto* list = static_cast<QComboBox*>(widgetFor(f));
        // Only a choice made in the open list acts (a click, or Enter in the list).
        connect(list, &QComboBox::activated, this, [this, f, list](int index) {
            model_.choosePreset(f, list->itemText(index).toStdString());
        });
    };
    row(0, "Prefix with text:", Field::PrefixText, "prefixText", prefixPresets());
    row(1, "Separate text with:", Field::SeparatorText, "separatorText", separatorPresets());
    row(2, "End with text:", Field::EndText, "endText", endPresets());
    grid->addWidget(label("Preview text:"), 3, 0);
    preview_ = new QLineEdit;
    preview_->setObjectName(QStringLiteral("previewText"));
    preview_->setReadOnly(true);
    grid->addWidget(preview_, 3, 1);
    grid->setColumnStretch(1, 1);
    return group;
}

QGroupBox* FolvaneWindow::buildPages() {
    auto* group = new QGroupBox(QStringLiteral("Pages and numbering"));
    auto* grid = new QGridLayout(group);
    auto number = [&](int r, int c, const char* caption, Field f, const char* name) {
        grid->addWidget(label(caption), r, c, Qt::AlignTop);
        grid->addWidget(addLineEdit(f, name, 90), r, c + 1);
    };
    number(0, 0, "Page to start processing at:", Field::FirstPage, "firstPage");
    number(1, 0, "Page to end processing at:", Field::LastPage, "lastPage");
    number(2, 0, "Page numbering to start at:", Field::FirstNumber, "firstNumber");
    number(3, 0, "Page numbering to end at:", Field::LastNumber, "lastNumber");
    number(4, 0, "Mask page numbers with n 0's:", Field::MaskDigits, "maskDigits");
    number(5, 0, "Only page number 1 in nth:", Field::Nth, "nth");
    int r = 0;
    auto check = [&](Field f, const char* caption, const char* name) {
        grid->addWidget(addCheck(f, caption, name), r++, 2);
    };
    check(Field::Reverse, "Reverse page numbering", "reverse");
    check(Field::Sequential, "1 in nth sequential page", "sequential");
    check(Field::TwoUp, "2-Up page numbering", "twoUp");
    check(Field::AbTwoUp, "A/B 2-Up page numbering", "abTwoUp");
    check(Field::OnePageNumberOnly, "One page number only", "onePageNumberOnly");
    check(Field::NoPageNumbers, "No Page Numbers just text", "noPageNumbers");
    auto* roman = new QHBoxLayout;
    roman->addWidget(addCheck(Field::RomanUpper, "Roman Numeral numbering: XIII", "romanUpper"));
    roman->addWidget(addCheck(Field::RomanLower, "xiii  ", "romanLower"));
    roman->addStretch();
    grid->addLayout(roman, 6, 0, 1, 3);
    grid->addWidget(
        addCheck(Field::ForcePortrait, "Force portrait text when landscape", "forcePortrait"), 7, 0,
        1, 3);
    return group;
}

QGroupBox* FolvaneWindow::buildFont() {
    auto* group = new QGroupBox(QStringLiteral("Font"));
    auto* grid = new QGridLayout(group);
    grid->addWidget(label("Font name:"), 0, 0);
    grid->addWidget(addList(Field::FontName, "fontName", {}), 0, 1, 1, 3);
    fontList_ = static_cast<QComboBox*>(widgetFor(Field::FontName));
    connect(fontList_, &QComboBox::activated, this, [this](int index) {
        model_.fields().setText(Field::FontName, fontList_->itemText(index).toStdString());
        model_.textTyped(Field::FontName);
    });
    grid->addWidget(label("Font Size:"), 1, 0, Qt::AlignTop);
    grid->addWidget(addLineEdit(Field::FontSize, "fontSize", 90), 1, 1);
    grid->addWidget(label("Degrees Angle of Text:"), 1, 2, Qt::AlignTop);
    grid->addWidget(addLineEdit(Field::Angle, "angle", 90), 1, 3);
    grid->addWidget(label("Text Color:"), 2, 0);
    swatch_ = new QPushButton;
    swatch_->setObjectName(QStringLiteral("textColor"));
    swatch_->setFixedSize(48, 22);
    connect(swatch_, &QPushButton::clicked, this, [this] { model_.chooseColour(); });
    grid->addWidget(swatch_, 2, 1);
    grid->addWidget(addCheck(Field::UseCmyk, "Use CMYK", "useCmyk"), 2, 2);
    auto* opacity = new QHBoxLayout;
    opacity->addWidget(label("Opacity:"), 0, Qt::AlignTop);
    opacity->addWidget(addLineEdit(Field::Opacity, "opacity", 60));
    opacity->addWidget(label("%"), 0, Qt::AlignTop);
    opacity->addStretch();
    grid->addLayout(opacity, 2, 3);
    return group;
}

QGroupBox* FolvaneWindow::buildPosition() {
    auto* group = new QGroupBox(QStringLiteral("Position"));
    auto* grid = new QGridLayout(group);
    grid->addWidget(label("Position:"), 0, 0);
    grid->addWidget(addList(Field::PositionName, "positionName", positionPresets()), 0, 1, 1, 3);
    auto* positions = static_cast<QComboBox*>(widgetFor(Field::PositionName));
    connect(positions, &QComboBox::activated, this, [this, positions](int index) {
        model_.selectPosition(index);
        positions->setCurrentIndex(index);
    });
    grid->addWidget(label("Vertical from Bottom:"), 1, 0, Qt::AlignTop);
    grid->addWidget(addLineEdit(Field::Vertical, "vertical", 90), 1, 1);
    grid->addWidget(addCheck(Field::FromBottom, "Calculate vertical from Bottom:", "fromBottom"), 1,
                    2, Qt::AlignTop);
    grid->addWidget(addCheck(Field::FromTop, "Top: ", "fromTop"), 1, 3, Qt::AlignTop);
    grid->addWidget(label("Horizontal from Left:"), 2, 0, Qt::AlignTop);
    grid->addWidget(addLineEdit(Field::Horizontal, "horizontal", 90), 2, 1);
    grid->addWidget(addCheck(Field::FromLeft, "Calculate horizontal from Left:", "fromLeft"), 2, 2,
                    Qt::AlignTop);
    grid->addWidget(addCheck(Field::FromRight, "Right: ", "fromRight"), 2, 3, Qt::AlignTop);
    auto* align = new QHBoxLayout;
    // Alt+A belongs to Apply Text; the left alignment takes Alt+L.
    align->addWidget(addCheck(Field::AlignLeft, "A&lign Text: Left", "alignLeft"));
    align->addWidget(addCheck(Field::AlignRight, "Right", "alignRight"));
    align->addWidget(addCheck(Field::AlignCenter, "Center", "alignCenter"));
    align->addStretch();
    grid->addLayout(align, 3, 0, 1, 4);
    return group;
}

QWidget* FolvaneWindow::buildButtons() {
    auto* buttons = new QWidget;
    auto* row = new QHBoxLayout(buttons);
    row->setContentsMargins(0, 0, 0, 0);
    apply_ = new QPushButton(QStringLiteral("&Apply Text"));
    auto* close = new QPushButton(QStringLiteral("&Close"));
    apply_->setObjectName(QStringLiteral("applyText"));
    close->setObjectName(QStringLiteral("close"));
    apply_->setToolTip(QStringLiteral("Stamp the input file into the output file (Alt+A)"));
    connect(apply_, &QPushButton::clicked, this, [this] { model_.applyText(); });
    connect(close, &QPushButton::clicked, this, [this] { model_.closeButton(); });
    row->addStretch();
    row->addWidget(apply_);
    row->addWidget(close);
    return buttons;
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

void FolvaneWindow::watchControls() {
    // Every control of the settings follows one rule for Enter and Escape, and no field takes a
    // drop of its own: a file dropped anywhere goes where the window's drop rule sends it.
    const QList<QWidget*> controls = settings_->widget()->findChildren<QWidget*>();
    for (QWidget* w : controls) {
        if (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) ||
            qobject_cast<QCheckBox*>(w) || qobject_cast<QPushButton*>(w)) {
            w->installEventFilter(this);
            w->setAcceptDrops(false);
        }
    }
    for (QWidget* w : centralWidget()->findChildren<QPushButton*>())
        w->installEventFilter(this);
}

Field FolvaneWindow::fieldOf(QObject* watched) const {
    for (size_t i = 0; i < kFieldCount; ++i) {
        QWidget* w = widgets_[i];
        if (!w) continue;
        if (w == watched) return static_cast<Field>(i);
        if (auto* list = qobject_cast<QComboBox*>(w); list && list->lineEdit() == watched)
            return static_cast<Field>(i);
    }
    return Field::Count;
}

void FolvaneWindow::fieldsChanged() {
    if (model_.fontListFilled() && fontList_->count() == 0)
        for (std::string_view name : builtInFontNames())
            fontList_->addItem(
                QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
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
}

void FolvaneWindow::previewChanged() {
    preview_->setText(qs(model_.preview()));
}

void FolvaneWindow::swatchChanged() {
    swatch_->setStyleSheet(swatchStyle(model_.record().textColor));
}

void FolvaneWindow::fieldFlagsChanged() {
    for (size_t i = 0; i < kFieldCount; ++i) {
        QLabel* flag = flags_[i];
        if (!flag) continue;
        const QString note = qs(model_.fieldFlag(static_cast<Field>(i)));
        flag->setText(note);
        flag->setVisible(!note.isEmpty());
    }
}

void FolvaneWindow::focusField(Field f) {
    QWidget* w = widgetFor(f);
    if (!w) return;
    settings_->ensureWidgetVisible(w);
    w->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->selectAll();
}

void FolvaneWindow::stampBusy(bool busy) {
    apply_->setEnabled(!busy);
    progress_->setVisible(busy);
    if (busy) {
        progress_->setRange(0, 0);
        progressText_->setText(QStringLiteral("Stamping..."));
    } else {
        progressText_->clear();
    }
}

void FolvaneWindow::stampProgress(int filesStarted, int fileCount) {
    progress_->setRange(0, fileCount);
    progress_->setValue(std::max(0, filesStarted - 1));
    progressText_->setText(
        QStringLiteral("Stamping file %1 of %2...").arg(std::max(1, filesStarted)).arg(fileCount));
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
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (isEnterKey(key->key())) {
            if (auto* button = qobject_cast<QPushButton*>(watched)) {
                button->animateClick(); // Enter on a button presses it
                return true;
            }
            model_.enterKey();
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            model_.escapeKey();
            return true;
        }
        if (qobject_cast<QComboBox*>(watched) && stepsThroughList(*key)) return true;
        break;
    }
    case QEvent::Wheel:
        if (qobject_cast<QComboBox*>(watched)) {
            // The wheel scrolls the settings; a preset acts only when picked from the open list.
            QCoreApplication::sendEvent(settings_->verticalScrollBar(), event);
            return true;
        }
        break;
    case QEvent::FocusOut:
        if (const Field f = fieldOf(watched); f != Field::Count && !isCheckField(f))
            model_.fieldLeft(f);
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void FolvaneWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

bool FolvaneWindow::onOutputRow(int windowY) const {
    const QRect r(outputRow_->mapTo(this, QPoint(0, 0)), outputRow_->size());
    return outputRow_->isVisible() && windowY >= r.top() && windowY <= r.bottom();
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
