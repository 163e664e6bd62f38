#include "displayfixture.h"
#include "x11geometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWindow>

using namespace nimbrel;
using namespace nimbrel::test;

class TestDisplayScreen : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { fixture.setUp(); }
    void cleanup() { fixture.tearDown(); }

    void coversScreenWithoutWindowManager();
    void reportStandsOverDisplay();

private:
    DisplayFixture fixture;
};

void TestDisplayScreen::coversScreenWithoutWindowManager() {
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    Forms::show(FormId::Settings);
    DisplayWindow* display = DisplayFixture::openDisplay();
    QVERIFY(QTest::qWaitForWindowExposed(display));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(screen, QRect(0, 0, 1920, 1080));
    QTRY_COMPARE(x11WindowGeometry(display->winId()), screen);
    // The band spans the real width too.
    display->refreshTick();
    QCOMPARE(DisplayFixture::band(display)->width(), screen.width());
}

// Run with and without a window manager (CTest's tst_display_screen_openbox): the server's own
// stacking order must put the report above the full-screen display.
void TestDisplayScreen::reportStandsOverDisplay() {
    Forms::show(FormId::Settings);
    DisplayWindow* display = DisplayFixture::openDisplay();
    QVERIFY(QTest::qWaitForWindowExposed(display));
    QTRY_COMPARE(x11WindowGeometry(display->winId()), display->screen()->geometry());
    QMessageBox* report = DisplayFixture::raiseTickReport(display);
    QVERIFY(report);
    QVERIFY(QTest::qWaitForWindowExposed(report));
    QCOMPARE(report->windowHandle()->transientParent(), display->windowHandle());
    QVERIFY(x11StackingPlace(display->winId()) >= 0);
    QTRY_VERIFY(x11StackingPlace(report->winId()) > x11StackingPlace(display->winId()));
}

NIMBREL_TEST_MAIN(TestDisplayScreen)
#include "tst_display_screen.moc"
