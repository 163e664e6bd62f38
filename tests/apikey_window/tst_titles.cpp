#include "forms.h"
#include "guard.h"
#include "keywindow.h"
#include "messages.h"
#include "settingswindow.h"
#include "testsupport.h"
#include "x11title.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace nimbrel;

// The titles a person sees in the title bar and the task bar, read back from a real X server:
// each window and message box shows the program's own text and nothing appended to it.
class TestTitles : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        // As the program starts: its name, then the settings window, whose load sets the
        // application title.
        QCoreApplication::setApplicationName(QStringLiteral("Nimbrel"));
        m_settings = std::make_unique<test::TempSettings>();
        Forms::registerFactory(FormId::Settings, [] { return new SettingsWindow; });
        Forms::registerFactory(FormId::ApiKey, [] { return new KeyWindow; });
        Forms::show(FormId::Settings);
        QVERIFY(QTest::qWaitForWindowExposed(Forms::get(FormId::Settings)));
    }
    void cleanupTestCase() {
        Forms::reset();
        m_settings.reset();
    }

    void windows() {
        QWidget* settings = Forms::get(FormId::Settings);
        QTRY_COMPARE_WITH_TIMEOUT(test::x11WindowTitle(settings->winId()),
                                  QStringLiteral("Nimbrel"), 2000);
        Forms::show(FormId::ApiKey);
        QWidget* key = Forms::get(FormId::ApiKey);
        QVERIFY(QTest::qWaitForWindowExposed(key));
        QTRY_COMPARE_WITH_TIMEOUT(test::x11WindowTitle(key->winId()), QStringLiteral("Key Options"),
                                  2000);
    }

    void messageBoxes_data() {
        QTest::addColumn<bool>("report");
        QTest::addColumn<QString>("title");
        QTest::newRow("error report") << true << "Application Error";
        // A plain message carries the application title.
        QTest::newRow("plain message") << false << "Nimbrel";
    }
    void messageBoxes() {
        QFETCH(bool, report);
        QFETCH(QString, title);
        const QString shown = titleOfBoxShownBy([report] {
            if (report)
                reportFailure(QStringLiteral("Overflow"), QStringLiteral("Form3.Form_Load"), 100);
            else
                showPlainMessage(QStringLiteral("Please enter a location."));
        });
        QCOMPARE(shown, title);
    }

private:
    // Runs the step, which puts up a real modal box; reads the box's title from the X server
    // once it is there, then presses its OK.
    QString titleOfBoxShownBy(const std::function<void()>& step) {
        QString title;
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible())
                return;
            title = test::x11WindowTitle(box->winId());
            if (!title.isEmpty())
                box->button(QMessageBox::Ok)->click();
        });
        poll.start();
        QTimer failsafe;
        failsafe.setSingleShot(true);
        connect(&failsafe, &QTimer::timeout, this, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
        failsafe.start(5000);
        step();
        return title;
    }

    std::unique_ptr<test::TempSettings> m_settings;
};

NIMBREL_TEST_MAIN(TestTitles)
#include "tst_titles.moc"
