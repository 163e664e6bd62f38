#include "displayfixture.h"
#include "x11geometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>

using namespace nimbrel;
using namespace nimbrel::test;

class TestDisplayScreen : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { fixture.setUp(); }
    void cleanup() { fixture.tearDown(); }

    void coversScreenWithoutWindowManager();

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

NIMBREL_TEST_MAIN(TestDisplayScreen)
#include "tst_display_screen.moc"
