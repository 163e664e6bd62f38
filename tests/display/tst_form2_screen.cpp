#include "displayfixture.h"
#include "x11geometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>

using namespace nimbrel;
using namespace nimbrel::test;

class TestForm2Screen : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { fixture.setUp(); }
    void cleanup() { fixture.tearDown(); }

    void coversScreenWithoutWindowManager();

private:
    DisplayFixture fixture;
};

void TestForm2Screen::coversScreenWithoutWindowManager() {
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    Forms::show(FormId::Form1);
    Form2* display = DisplayFixture::openDisplay();
    QVERIFY(QTest::qWaitForWindowExposed(display));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(screen, QRect(0, 0, 1920, 1080));
    QTRY_COMPARE(x11WindowGeometry(display->winId()), screen);
    // The band spans the real width too.
    display->Timer1_Timer();
    QCOMPARE(DisplayFixture::band(display)->width(), screen.width());
}

NIMBREL_TEST_MAIN(TestForm2Screen)
#include "tst_form2_screen.moc"
