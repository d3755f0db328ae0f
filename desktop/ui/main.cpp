// Folvane: one window to number and stamp the pages of a PDF file through the Tavrix engine.
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include "desktop/model/automation_runtime.hpp"
#include "desktop/model/main_window.hpp"
#include "desktop/ui/folvane_window.hpp"
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
    options.process(app);

    folvane::QtPlatform platform;
    folvane::AutomationRuntime runtime;
    folvane::MainWindow model(platform, runtime, std::make_unique<folvane::ThreadWorker>());
    folvane::FolvaneWindow window(model);
    platform.setParent(&window);
    window.show();
    model.start();
    if (model.ended() != folvane::WindowEnd::Open) return 0;

    if (options.isSet(QStringLiteral("screenshot"))) {
        const QString file = options.value(QStringLiteral("screenshot"));
        QTimer::singleShot(500, &window, [&window, &model, file] {
            const bool saved = window.grab().save(file, "PNG");
            model.setObserver(nullptr);
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return QApplication::exec();
}
