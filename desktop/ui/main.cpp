// Folvane: one window to number and stamp the pages of a PDF file through the Tavrix engine.
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTimer>
#include <memory>

#include "desktop/model/automation_runtime.hpp"
#include "desktop/model/main_window.hpp"
#include "desktop/ui/folvane_window.hpp"
#include "desktop/ui/preview_pane.hpp"
#include "desktop/ui/qt_platform.hpp"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Folvane"));
    QApplication::setApplicationVersion(QStringLiteral("1.04"));

    // --screenshot saves a picture of the started window and leaves without saving anything;
    // it serves the documentation.
    QCommandLineParser options;
    options.addHelpOption();
    options.addVersionOption();
    options.addOption({QStringLiteral("screenshot"),
                       QStringLiteral("Save a PNG of the window to <file> and quit."),
                       QStringLiteral("file")});
    options.addPositionalArgument(QStringLiteral("pdf"),
                                  QStringLiteral("A PDF file to stamp (from \"Open with\")."),
                                  QStringLiteral("[pdf]"));
    options.process(app);

    folvane::QtPlatform platform;
    folvane::AutomationRuntime runtime;
    folvane::MainWindow model(platform, runtime, std::make_unique<folvane::ThreadWorker>());
    folvane::FolvaneWindow window(model);
    platform.setParent(&window);
    window.show();
    model.start();
    if (model.ended() != folvane::WindowEnd::Open) return 0;
    // A file handed over by the desktop's "Open with" is taken as if dropped as the input.
    if (!options.positionalArguments().isEmpty())
        model.dropFiles({QFileInfo(options.positionalArguments().constFirst())
                             .absoluteFilePath()
                             .toStdString()},
                        false);

    if (options.isSet(QStringLiteral("screenshot"))) {
        const QString file = options.value(QStringLiteral("screenshot"));
        // Waits for the page preview (at most 15 seconds) before the picture is taken.
        auto* poll = new QTimer(&window);
        auto waited = std::make_shared<int>(0);
        QObject::connect(poll, &QTimer::timeout, &window, [&window, &model, file, poll, waited] {
            const folvane::PagePreview& preview = model.pagePreview();
            const bool previewReady =
                !preview.busy() && (window.previewPane()->upToDate() ||
                                    preview.state() != folvane::PagePreview::State::Shown);
            if ((!previewReady || ++*waited < 5) && *waited < 150) {
                ++*waited;
                return;
            }
            poll->stop();
            const bool saved = window.grab().save(file, "PNG");
            model.setObserver(nullptr);
            QApplication::exit(saved ? 0 : 1);
        });
        poll->start(100);
    }
    return QApplication::exec();
}
