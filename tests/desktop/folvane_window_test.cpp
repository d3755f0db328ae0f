// The real window on the offscreen platform: typed into, applied, and its stamped file checked.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QWheelEvent>
#include <QtTest/QtTest>
#include <cstdlib>
#include <filesystem>

#include "desktop/model/automation_runtime.hpp"
#include "desktop/ui/folvane_window.hpp"
#include "desktop/ui/preview_pane.hpp"
#include "desktop/ui/qt_platform.hpp"
#include "fakes.hpp"
#include "support/pdf_builder.hpp"
#include "support/test_files.hpp"
#include "tavrixrt/runtime.hpp"

namespace folvane {

class FolvaneWindowTest : public QObject {
    Q_OBJECT

  private:
    testpdf::TempDir dir_;
    QString previous_;

    // The scripted platform, with Qt's event queue and timers.
    struct Platform : testing::FakePlatform {
        QtPlatform qt;
        void postToUi(std::function<void()> work) override { qt.postToUi(std::move(work)); }
        std::unique_ptr<Timer> createTimer() override { return qt.createTimer(); }
    };

    struct Session {
        Platform platform;
        AutomationRuntime runtime;
        MainWindow model{platform, runtime, std::make_unique<ThreadWorker>(),
                         testing::fixedExpander()};
        FolvaneWindow window{model};
        Session() {
            window.show();
            window.activateWindow();
            [[maybe_unused]] const bool active = QTest::qWaitForWindowActive(&window);
            model.start();
        }
        template <class W> W* find(const char* name) {
            return window.findChild<W*>(QString::fromLatin1(name));
        }
        QLineEdit* edit(const char* name) {
            if (auto* list = find<QComboBox>(name)) return list->lineEdit();
            return find<QLineEdit>(name);
        }
        void type(const char* name, const QString& text) {
            QLineEdit* e = edit(name);
            e->setFocus();
            e->selectAll();
            QTest::keyClick(e, Qt::Key_Delete);
            QTest::keyClicks(e, text);
        }
    };

    QString path(const char* name) const { return QString::fromStdString(dir_.file(name)); }
    static QString settingsFile() {
        return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/folvane/Default.ppf");
    }
    static QByteArray bytesOf(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Drags `urls` over the window and drops them on `target` as the window system would: Qt
    // delivers the drop to the widget under the point, or the first parent that accepts drops.
    static void dropOn(QWidget* target, const QList<QUrl>& urls, QWidget* window) {
        QMimeData data;
        data.setUrls(urls);
        const QPointF at = target->mapTo(window, target->rect().center());
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window->windowHandle(), &enter);
        QDragMoveEvent move(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window->windowHandle(), &move);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window->windowHandle(), &drop);
    }

    static void wheelOver(QWidget* target) {
        const QPointF at = target->rect().center();
        QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &wheel);
    }

  private slots:
    void initTestCase() {
        qputenv("TAVRIX_REGISTRY", path("registry").toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", path("config").toLocal8Bit());
        previous_ = QDir::currentPath();
        QDir::setCurrent(QString::fromStdString(dir_.path()));
        if (!std::filesystem::exists(FOLVANE_ENGINE_LIBRARY)) QSKIP("engine library not built");
        QCOMPARE(RegisterServerLibrary(FOLVANE_ENGINE_LIBRARY), S_OK);
    }
    void cleanupTestCase() { QDir::setCurrent(previous_); }
    void init() { QFile::remove(settingsFile()); }

    void typesAppliesAndStamps() {
        testpdf::writeFile(path("in.pdf").toStdString(), testpdf::emptyPages(3));
        Session s;
        QCOMPARE(s.window.windowTitle(), QStringLiteral("Folvane 1.04"));
        QCOMPARE(s.find<QComboBox>("fontName")->count(), 161);
        s.type("inputPath", path("in.pdf"));
        s.type("outputPath", path("out.pdf"));
        s.type("prefixText", QStringLiteral("Folio "));
        QCOMPARE(s.window.previewField()->text(), QStringLiteral("Folio 1 / 9999"));
        s.type("firstNumber", QStringLiteral("5"));
        QCOMPARE(s.window.previewField()->text(), QStringLiteral("Folio 5 / 9999"));
        s.type("fontSize", QStringLiteral("14.5"));
        s.platform.answers.clear();
        QTest::mouseClick(s.find<QCheckBox>("fromTop"), Qt::LeftButton);
        QVERIFY(!s.find<QCheckBox>("fromBottom")->isChecked());
        QTest::mouseClick(s.find<QPushButton>("applyText"), Qt::LeftButton);

        QTRY_VERIFY(!s.model.stamping());
        QCOMPARE(QString::fromStdString(s.platform.messages.back().text),
                 QStringLiteral("Done!\n\nOutput file: %1\n\n").arg(path("out.pdf")));
        const std::string text = testpdf::pdfText(path("out.pdf").toStdString());
        QVERIFY2(text.find("Folio 5 / 3") != std::string::npos, text.c_str());
        QVERIFY2(text.find("Folio 7 / 3") != std::string::npos, text.c_str());
        QCOMPARE(s.model.record().fontSize, 14.5);
        QVERIFY(s.model.record().shown.fromTop);
    }

    // A file dropped on any text field goes where the drop rule sends it, never into the text.
    void dropsOnTextFieldsFollowTheDropRule() {
        Session s;
        const QList<QUrl> urls{QUrl::fromLocalFile(path("a.pdf")),
                               QUrl::fromLocalFile(path("b.pdf"))};
        const char* fields[] = {"inputPath", "prefixText", "separatorText", "endText",
                                "firstPage", "fontName",   "vertical",      "positionName"};
        for (const char* name : fields) {
            s.type("outputPath", QString());
            s.type("inputPath", QString());
            s.type("prefixText", QStringLiteral("Page "));
            dropOn(s.edit(name), urls, &s.window);
            QCOMPARE(s.edit("inputPath")->text(), path("b.pdf"));
            for (QLineEdit* e : s.window.findChildren<QLineEdit*>())
                QVERIFY2(!e->text().contains(QStringLiteral("file:")), name);
        }
        s.type("inputPath", QString());
        dropOn(s.edit("outputPath"), urls, &s.window);
        QCOMPARE(s.edit("outputPath")->text(), path("b.pdf"));
        QCOMPARE(s.edit("inputPath")->text(), QString());
    }

    // One wheel notch over a list scrolls; it never replaces what was typed.
    void wheelOverListsKeepsTypedText() {
        Session s;
        const char* lists[] = {"prefixText", "separatorText", "endText", "fontName",
                               "positionName"};
        s.type("vertical", QStringLiteral("33"));
        for (const char* name : lists) {
            s.type(name, QStringLiteral("Invoice 2026-"));
            wheelOver(s.find<QComboBox>(name));
            QCOMPARE(s.edit(name)->text(), QStringLiteral("Invoice 2026-"));
            QTest::keyClick(s.find<QComboBox>(name), Qt::Key_Down);
            QCOMPARE(s.edit(name)->text(), QStringLiteral("Invoice 2026-"));
        }
        QCOMPARE(s.edit("vertical")->text(), QStringLiteral("33"));
        QVERIFY(s.platform.messages.empty()); // no centring question while scrolling
    }

    // Enter commits and never ends the program; Escape ends it as the close box does.
    void enterAndEscapeInEveryKindOfControl() {
        const char* controls[] = {"prefixText", "firstPage", "reverse", "inputPathBrowse"};
        for (const char* name : controls) {
            Session s;
            s.type("vertical", QStringLiteral("44"));
            QWidget* w = s.find<QWidget>(name);
            if (auto* list = qobject_cast<QComboBox*>(w)) w = list->lineEdit();
            if (qobject_cast<QPushButton*>(w)) s.platform.files = {std::nullopt};
            w->setFocus();
            QTest::keyClick(w, Qt::Key_Return);
            QVERIFY2(s.window.isVisible(), name);
            QCOMPARE(s.model.ended(), WindowEnd::Open);
            if (!qobject_cast<QPushButton*>(w))
                QVERIFY2(s.model.record().shown.vertical == 44.0, name);
            QTest::keyClick(w, Qt::Key_Escape);
            QCOMPARE(s.model.ended(), WindowEnd::Frame);
            QVERIFY(!s.window.isVisible());
        }
        QVERIFY(!QFile::exists(settingsFile())); // neither key saves
        Session s;
        s.type("vertical", QStringLiteral("123"));
        QTest::mouseClick(s.find<QPushButton>("close"), Qt::LeftButton);
        QCOMPARE(s.model.ended(), WindowEnd::CloseButton);
        QVERIFY(QFile::exists(settingsFile()));
        Session again;
        QCOMPARE(again.edit("vertical")->text(), QStringLiteral("123"));
    }

    void applyWithABadFieldLeavesTheOutputAlone() {
        testpdf::writeFile(path("in.pdf").toStdString(), testpdf::emptyPages(2));
        testpdf::writeFile(path("earlier.pdf").toStdString(), "an earlier result");
        Session s;
        s.type("inputPath", path("in.pdf"));
        s.type("lastPage", QStringLiteral("12x"));
        s.type("outputPath", path("earlier.pdf"));
        QTest::mouseClick(s.find<QPushButton>("applyText"), Qt::LeftButton);
        QCOMPARE(QString::fromStdString(s.platform.texts().back()),
                 QStringLiteral("Please enter an integer."));
        QCOMPARE(QApplication::focusWidget(), s.edit("lastPage"));
        QVERIFY(!s.model.stamping());
        QTest::qWait(100);
        QCOMPARE(bytesOf(path("earlier.pdf")), QByteArray("an earlier result"));
    }

    void previewShowsWhatIsWritten_data();
    void previewShowsWhatIsWritten();
};

namespace {

// The box of the pixels that are not page white, in image coordinates; empty when there are none.
QRect inkBox(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_ARGB32);
    QRect box;
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb p = rgb.pixel(x, y);
            if (qAlpha(p) > 128 && qGray(p) < 160) box |= QRect(x, y, 1, 1);
        }
    return box;
}

} // namespace

void FolvaneWindowTest::previewShowsWhatIsWritten_data() {
    QTest::addColumn<QString>("page");      // the page dictionary's entries
    QTest::addColumn<QStringList>("edits"); // field=value; a check box takes 0 or 1
    QTest::addColumn<int>("position");      // a quick position, or -1
    const QString a4 = QStringLiteral("/MediaBox [0 0 595 842]");
    QTest::newRow("bottom left, A4") << a4 << QStringList{} << -1;
    QTest::newRow("top right corner (both flips)") << a4 << QStringList{} << 4;
    QTest::newRow("bottom right") << a4 << QStringList{QStringLiteral("prefixText=Invoice ")} << 1;
    QTest::newRow("centred") << a4
                             << QStringList{QStringLiteral("horizontal=-1"),
                                            QStringLiteral("vertical=-1"),
                                            QStringLiteral("alignCenter=1")}
                             << -1;
    QTest::newRow("angle 45") << a4
                              << QStringList{QStringLiteral("angle=45"),
                                             QStringLiteral("vertical=300"),
                                             QStringLiteral("fontSize=24")}
                              << -1;
    QTest::newRow("rotated page, noforce")
        << QStringLiteral("/MediaBox [0 0 595 842] /Rotate 90")
        << QStringList{QStringLiteral("forcePortrait=0"), QStringLiteral("vertical=40")} << -1;
    QTest::newRow("crop box") << QStringLiteral("/MediaBox [0 0 612 792] /CropBox [50 60 400 500]")
                              << QStringList{} << 4;
}

void FolvaneWindowTest::previewShowsWhatIsWritten() {
    QFETCH(QString, page);
    QFETCH(QStringList, edits);
    QFETCH(int, position);
    testpdf::writeFile(path("shape.pdf").toStdString(), testpdf::emptyPages(3, page.toStdString()));
    QFile::remove(path("shape-out.pdf"));
    Session s;
    s.window.resize(1400, 1200); // a preview large enough to place the stamp to a few pixels
    s.type("fontSize", QStringLiteral("40"));
    s.type("inputPath", path("shape.pdf"));
    s.type("outputPath", path("shape-out.pdf"));
    s.type("firstNumber", QStringLiteral("7"));
    for (const QString& edit : edits) {
        const QString name = edit.section(QLatin1Char('='), 0, 0);
        const QString value = edit.section(QLatin1Char('='), 1);
        if (auto* box = s.find<QCheckBox>(name.toLatin1().constData())) {
            if (box->isChecked() != (value == QStringLiteral("1"))) box->click();
        } else {
            s.type(name.toLatin1().constData(), value);
        }
    }
    if (position >= 0) s.model.selectPosition(position);
    s.model.pagePreview().goTo(2);

    PreviewPane* pane = s.window.previewPane();
    QTRY_VERIFY_WITH_TIMEOUT(pane->upToDate(), 15000);
    QCOMPARE(s.model.pagePreview().page(), 2);
    QCOMPARE(s.model.pagePreview().pageCount(), 3);
    const QImage shown = pane->shownImage();
    const QRect previewInk = inkBox(shown);
    QVERIFY2(!previewInk.isEmpty(), "the preview shows no stamp");

    QTest::mouseClick(s.find<QPushButton>("applyText"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!s.model.stamping(), 15000);
    QVERIFY(QFile::exists(path("shape-out.pdf")));
    const std::string prefix = path("rendered").toStdString();
    testpdf::runCommand({"pdftoppm", "-png", "-cropbox", "-f", "2", "-l", "2", "-singlefile",
                         "-scale-to", std::to_string(std::max(shown.width(), shown.height())),
                         path("shape-out.pdf").toStdString(), prefix});
    const QImage written(QString::fromStdString(prefix + ".png"));
    QVERIFY(!written.isNull());
    QVERIFY(std::abs(written.width() - shown.width()) <= 1);
    QVERIFY(std::abs(written.height() - shown.height()) <= 1);
    const QRect writtenInk = inkBox(written);
    QString boxes;
    QDebug(&boxes) << "preview" << previewInk << "written" << writtenInk;
    for (const int apart :
         {previewInk.left() - writtenInk.left(), previewInk.top() - writtenInk.top(),
          previewInk.right() - writtenInk.right(), previewInk.bottom() - writtenInk.bottom()})
        QVERIFY2(std::abs(apart) <= 4, qPrintable(boxes));
}

} // namespace folvane

QTEST_MAIN(folvane::FolvaneWindowTest)
#include "folvane_window_test.moc"
