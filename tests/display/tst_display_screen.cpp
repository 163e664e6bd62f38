#include "displayfixture.h"
#include "x11geometry.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
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
    // In a corner of the display, clear of the hint and of every line of the weather.
    const QRect screen = display->screen()->geometry();
    const QRect placed = x11WindowGeometry(report->winId());
    QVERIFY(screen.contains(placed));
    QVERIFY(placed.left() > screen.center().x());
    const auto* hint = display->findChild<QLabel*>(QStringLiteral("Label1"));
    QVERIFY(!placed.intersects(QRect(hint->mapToGlobal(QPoint()), hint->size())));
    const DrawingBand* band = DisplayFixture::band(display);
    const int lineSpacing = QFontMetrics(band->drawing().font, band).lineSpacing();
    for (const BandLine& line : band->drawing().lines) {
        const int width = QFontMetrics(line.font.value_or(band->drawing().font), band)
                              .horizontalAdvance(line.text);
        const QRect drawn(band->mapToGlobal(QPoint(line.x, line.top)), QSize(width, lineSpacing));
        QVERIFY2(!placed.intersects(drawn), qPrintable(line.text));
    }
}

NIMBREL_TEST_MAIN(TestDisplayScreen)
#include "tst_display_screen.moc"
