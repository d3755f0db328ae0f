#include "desktop/ui/page_renderer.hpp"

#include <QMutex>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfDocumentRenderOptions>

#include "desktop/model/preview_files.hpp"

namespace folvane {

// Lives on the render thread; requests are coalesced so that only the latest one is rendered.
class PageRenderer::Worker : public QObject {
  public:
    explicit Worker(PageRenderer& owner) : owner_(owner) {}

    void post(std::shared_ptr<FileHandle> file, quint64 generation, int page, QSize size,
              QString password) {
        {
            QMutexLocker lock(&mutex_);
            pending_ = Request{std::move(file), generation, page, size, std::move(password)};
            if (scheduled_) return;
            scheduled_ = true;
        }
        QMetaObject::invokeMethod(
            this, [this] { work(); }, Qt::QueuedConnection);
    }

  private:
    struct Request {
        std::shared_ptr<FileHandle> file;
        quint64 generation = 0;
        int page = 1;
        QSize size;
        QString password;
    };

    void work() {
        Request r;
        {
            QMutexLocker lock(&mutex_);
            r = std::move(pending_);
            scheduled_ = false;
        }
        if (!r.file) return;
        if (!document_ || generation_ != r.generation) {
            document_ = std::make_unique<QPdfDocument>();
            document_->setPassword(r.password);
            // The file is unlinked; its open handle is reachable by this path while it lives.
            document_->load(QString::fromStdString(r.file->procPath()));
            file_ = r.file;
            generation_ = r.generation;
        }
        const int count =
            document_->status() == QPdfDocument::Status::Ready ? document_->pageCount() : 0;
        QImage image;
        if (r.page >= 1 && r.page <= count && !r.size.isEmpty()) {
            const QSizeF points = document_->pagePointSize(r.page - 1);
            QSize pixels = points.scaled(QSizeF(r.size), Qt::KeepAspectRatio).toSize();
            if (!pixels.isEmpty()) {
                QPdfDocumentRenderOptions options;
                options.setRenderFlags(QPdfDocumentRenderOptions::RenderFlag::Annotations);
                // The page is paper: what the renderer leaves transparent is white.
                const QImage drawn = document_->render(r.page - 1, pixels, options);
                image = QImage(drawn.size(), QImage::Format_RGB32);
                image.fill(Qt::white);
                QPainter painter(&image);
                painter.drawImage(0, 0, drawn);
            }
        }
        emit owner_.rendered(r.generation, r.page, count, image);
    }

    PageRenderer& owner_;
    QMutex mutex_;
    Request pending_;
    bool scheduled_ = false;
    std::unique_ptr<QPdfDocument> document_;
    std::shared_ptr<FileHandle> file_;
    quint64 generation_ = 0;
};

PageRenderer::PageRenderer() {
    thread_.setObjectName(QStringLiteral("Folvane page renderer"));
    worker_ = new Worker(*this);
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start();
}

PageRenderer::~PageRenderer() {
    thread_.quit();
    thread_.wait();
}

void PageRenderer::request(std::shared_ptr<FileHandle> file, quint64 generation, int page,
                           QSize size, QString password) {
    worker_->post(std::move(file), generation, page, size, std::move(password));
}

} // namespace folvane
