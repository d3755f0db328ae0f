// Renders pages of the preview's stamped file with QtPdf, on a thread of its own so that a large
// page never holds up the window. It keeps the document of the last generation open.
#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThread>
#include <memory>

class QPdfDocument;

namespace folvane {

class FileHandle;

class PageRenderer : public QObject {
    Q_OBJECT

  public:
    PageRenderer();
    ~PageRenderer() override;

    // Asks for page `page` (1-based) of document `generation` to fit `size` device pixels; the
    // answer comes as rendered(). Only the latest request is worked on. `password` opens an
    // encrypted document (empty for one that is not).
    void request(std::shared_ptr<FileHandle> file, quint64 generation, int page, QSize size,
                 QString password = {});

  signals:
    // `image` is null when the page could not be rendered; `pageCount` is the document's.
    void rendered(quint64 generation, int page, int pageCount, QImage image);

  private:
    class Worker;
    QThread thread_;
    Worker* worker_ = nullptr;
};

} // namespace folvane
