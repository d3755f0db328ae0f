// The page preview pane: the page the model chooses, as the engine stamped it, fitted to the pane,
// with page navigation, a busy indicator and the engine's reason when it refused the file.
#pragma once

#include <QImage>
#include <QWidget>

#include "desktop/model/page_preview.hpp"
#include "desktop/ui/page_renderer.hpp"

class QLabel;
class QLineEdit;
class QProgressBar;
class QToolButton;

namespace folvane {

class PreviewPane : public QWidget, public PagePreviewObserver {
    Q_OBJECT

  public:
    explicit PreviewPane(PagePreview& model, QWidget* parent = nullptr);
    ~PreviewPane() override;

    // The image on show (null while there is none): what tests compare with a real rendering.
    const QImage& shownImage() const { return image_; }
    // True once the page the model asks for is on show.
    bool upToDate() const;

    void pagePreviewChanged() override;

  signals:
    void imageShown();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void requestRender();
    void rendered(quint64 generation, int page, int pageCount, QImage image);
    void showState();

    PagePreview& model_;
    PageRenderer renderer_;
    QLabel* page_ = nullptr; // the image, or the message
    QLineEdit* pageNumber_ = nullptr;
    QLabel* pageCount_ = nullptr;
    QProgressBar* busy_ = nullptr;
    QToolButton* first_ = nullptr;
    QToolButton* previous_ = nullptr;
    QToolButton* next_ = nullptr;
    QToolButton* last_ = nullptr;
    QImage image_;
    quint64 imageGeneration_ = 0;
    int imagePage_ = 0;
    bool rendering_ = false;
};

} // namespace folvane
