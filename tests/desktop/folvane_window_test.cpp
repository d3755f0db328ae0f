// The real window on the offscreen platform: typed into, applied, and its stamped file checked.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest/QtTest>
#include <cstdlib>
#include <filesystem>

#include "desktop/model/automation_runtime.hpp"
#include "desktop/ui/folvane_window.hpp"
#include "fakes.hpp"
#include "pdf_fixture.hpp"
#include "tavrixrt/runtime.hpp"

namespace folvane {

class FolvaneWindowTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    QString previous_;

    struct Session {
        testing::FakePlatform platform;
        AutomationRuntime runtime;
        MainWindow model{platform, runtime, testing::fixedExpander()};
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

    QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        qputenv("TAVRIX_REGISTRY", path("registry").toLocal8Bit());
        previous_ = QDir::currentPath();
        QDir::setCurrent(dir_.path());
        if (!std::filesystem::exists(FOLVANE_ENGINE_LIBRARY)) QSKIP("engine library not built");
        QCOMPARE(RegisterServerLibrary(FOLVANE_ENGINE_LIBRARY), S_OK);
    }
    void cleanupTestCase() { QDir::setCurrent(previous_); }
    void init() { QFile::remove(path("Default.ppf")); }

    void typesAppliesAndStamps() {
        testing::writePdf(path("in.pdf").toStdString(), 3);
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
        QTest::mouseClick(s.find<QCheckBox>("fromTop"), Qt::LeftButton);
        QVERIFY(!s.find<QCheckBox>("fromBottom")->isChecked());
        QTest::mouseClick(s.find<QPushButton>("applyText"), Qt::LeftButton);

        QVERIFY(!s.platform.messages.empty());
        QCOMPARE(QString::fromStdString(s.platform.messages.back().text),
                 QStringLiteral("Done!\n\nOutput file: %1\n\n").arg(path("out.pdf")));
        const std::string text = testing::commandOutput(
            "pdftotext '" + path("out.pdf").toStdString() + "' - 2>/dev/null");
        QVERIFY2(text.find("Folio 5 / 3") != std::string::npos, text.c_str());
        QVERIFY2(text.find("Folio 7 / 3") != std::string::npos, text.c_str());
        QCOMPARE(s.model.record().fontSize, 14.5);
        QVERIFY(s.model.record().shown.fromTop);
    }

    void badNumberIsReportedAsTyped() {
        Session s;
        s.type("firstPage", QStringLiteral("x"));
        QCOMPARE(QString::fromStdString(s.platform.texts().back()),
                 QStringLiteral("Please enter an integer."));
        QCOMPARE(QApplication::focusWidget(), s.edit("firstPage"));
    }

    void enterEndsWithoutSavingAndCloseSaves() {
        {
            Session s;
            s.type("prefixText", QStringLiteral("Entered "));
            QTest::keyClick(s.edit("prefixText"), Qt::Key_Return);
            QCOMPARE(s.model.ended(), WindowEnd::EnterKey);
            QVERIFY(!s.window.isVisible());
            QVERIFY(!QFile::exists(path("Default.ppf")));
        }
        {
            Session s;
            s.type("vertical", QStringLiteral("123"));
            QTest::mouseClick(s.find<QPushButton>("close"), Qt::LeftButton);
            QCOMPARE(s.model.ended(), WindowEnd::CloseButton);
        }
        QVERIFY(QFile::exists(path("Default.ppf")));
        Session again;
        QCOMPARE(again.edit("vertical")->text(), QStringLiteral("123"));
        again.window.close(); // the frame: nothing written
        QCOMPARE(again.model.ended(), WindowEnd::Frame);
    }

    void dropsOnTheOutRowSetTheOutput() {
        Session s;
        const QList<QUrl> urls{QUrl::fromLocalFile(path("a.pdf")),
                               QUrl::fromLocalFile(path("b.pdf"))};
        auto dropAt = [&](QWidget* target) {
            s.window.dropUrls(urls, target->mapTo(&s.window, target->rect().center()));
        };
        dropAt(s.edit("outputPath"));
        QCOMPARE(s.edit("outputPath")->text(), path("b.pdf"));
        QCOMPARE(s.edit("inputPath")->text(), QString());
        dropAt(s.edit("vertical"));
        QCOMPARE(s.edit("inputPath")->text(), path("b.pdf"));
    }

    void quickSetupAsksAndCentres() {
        Session s;
        s.platform.answers = {Answer::Yes};
        auto* positions = s.find<QComboBox>("positionName");
        positions->setCurrentIndex(5);
        emit positions->activated(5);
        QCOMPARE(positions->currentText(), QStringLiteral("Top Middle"));
        QCOMPARE(s.edit("horizontal")->text(), QStringLiteral("-1"));
        QCOMPARE(s.edit("vertical")->text(), QStringLiteral("780"));
        QVERIFY(s.find<QCheckBox>("alignCenter")->isChecked());
        QVERIFY(!s.find<QCheckBox>("alignLeft")->isChecked());
    }
};

} // namespace folvane

QTEST_MAIN(folvane::FolvaneWindowTest)
#include "folvane_window_test.moc"
