#include "desktop/ui/preview_pane.hpp"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QResizeEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace folvane {

PreviewPane::PreviewPane(PagePreview& model, QWidget* parent) : QWidget(parent), model_(model) {
    setObjectName(QStringLiteral("previewPane"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    page_ = new QLabel;
    page_->setObjectName(QStringLiteral("previewPage"));
    page_->setAlignment(Qt::AlignCenter);
    page_->setWordWrap(true);
    page_->setMinimumSize(200, 200);
    page_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    page_->setStyleSheet(QStringLiteral("QLabel#previewPage { background: palette(dark); }"));
    layout->addWidget(page_, 1);

    auto* bar = new QHBoxLayout;
    auto button = [&](const char* name, Qt::ArrowType arrow, const char* tip) {
        auto* b = new QToolButton;
        b->setObjectName(QString::fromLatin1(name));
        b->setArrowType(arrow);
        b->setToolTip(QString::fromLatin1(tip));
        b->setAutoRaise(true);
        bar->addWidget(b);
        return b;
    };
    first_ = button("previewFirst", Qt::UpArrow, "First page");
    previous_ = button("previewPrevious", Qt::LeftArrow, "Previous page");
    pageNumber_ = new QLineEdit;
    pageNumber_->setObjectName(QStringLiteral("previewPageNumber"));
    pageNumber_->setValidator(new QIntValidator(1, 1000000000, pageNumber_));
    pageNumber_->setMaximumWidth(60);
    pageNumber_->setAlignment(Qt::AlignRight);
    bar->addWidget(pageNumber_);
    pageCount_ = new QLabel;
    bar->addWidget(pageCount_);
    next_ = button("previewNext", Qt::RightArrow, "Next page");
    last_ = button("previewLast", Qt::DownArrow, "Last page");
    busy_ = new QProgressBar;
    busy_->setObjectName(QStringLiteral("previewBusy"));
    busy_->setRange(0, 0); // an indicator without an end
    busy_->setMaximumWidth(80);
    busy_->setTextVisible(false);
    bar->addStretch();
    bar->addWidget(busy_);
    layout->addLayout(bar);

    connect(first_, &QToolButton::clicked, this, [this] { model_.first(); });
    connect(previous_, &QToolButton::clicked, this, [this] { model_.previous(); });
    connect(next_, &QToolButton::clicked, this, [this] { model_.next(); });
    connect(last_, &QToolButton::clicked, this, [this] { model_.last(); });
    connect(pageNumber_, &QLineEdit::returnPressed, this,
            [this] { model_.goTo(pageNumber_->text().toInt()); });
    connect(&renderer_, &PageRenderer::rendered, this, &PreviewPane::rendered);

    model_.setObserver(this);
    showState();
}

PreviewPane::~PreviewPane() {
    model_.setObserver(nullptr);
}

bool PreviewPane::upToDate() const {
    return model_.state() == PagePreview::State::Shown && !model_.busy() && !rendering_ &&
           imageGeneration_ == model_.generation() && imagePage_ == model_.page() &&
           !image_.isNull();
}

void PreviewPane::pagePreviewChanged() {
    showState();
    if (model_.state() == PagePreview::State::Shown) requestRender();
}

void PreviewPane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (model_.state() == PagePreview::State::Shown) requestRender();
}

void PreviewPane::requestRender() {
    const qreal ratio = devicePixelRatioF();
    const QSize size = page_->size() * ratio;
    rendering_ = true;
    renderer_.request(model_.file(), model_.generation(), model_.page(), size,
                      QString::fromStdString(model_.password().value_or(std::string())));
}

void PreviewPane::rendered(quint64 generation, int page, int pageCount, QImage image) {
    // A rendering of an older file or of another page is never shown.
    if (generation != model_.generation() || model_.state() != PagePreview::State::Shown) return;
    model_.documentOpened(generation, pageCount);
    if (page != model_.page()) return;
    rendering_ = false;
    image.setDevicePixelRatio(devicePixelRatioF());
    image_ = image;
    imageGeneration_ = generation;
    imagePage_ = page;
    if (image_.isNull())
        page_->setText(QStringLiteral("This page cannot be shown."));
    else
        page_->setPixmap(QPixmap::fromImage(image_));
    showState();
    emit imageShown();
}

void PreviewPane::showState() {
    const bool shown = model_.state() == PagePreview::State::Shown;
    if (!shown) {
        image_ = QImage();
        imageGeneration_ = 0;
        page_->setPixmap(QPixmap());
        page_->setText(QString::fromStdString(model_.message()));
    }
    const int count = model_.pageCount();
    pageNumber_->setEnabled(shown);
    if (!pageNumber_->hasFocus()) pageNumber_->setText(shown ? QString::number(model_.page()) : "");
    pageCount_->setText(shown && count > 0 ? QStringLiteral("/ %1").arg(count) : QString());
    first_->setEnabled(shown && model_.page() > 1);
    previous_->setEnabled(shown && model_.page() > 1);
    next_->setEnabled(shown && count > 0 && model_.page() < count);
    last_->setEnabled(shown && count > 0 && model_.page() < count);
    busy_->setVisible(model_.busy() || (shown && rendering_));
}

} // namespace folvane
