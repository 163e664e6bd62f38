// The display's nights, with the clock injected: the screen off without a request until the
// morning, a fresh reading as it ends, someone at the screen at night, and the dimmed look.
#include "displayfixture.h"
#include "nightwatch.h"

#include <QLabel>
#include <QTest>

using namespace nimbrel;
using namespace nimbrel::test;

namespace {

struct PowerLog {
    int offs = 0;
    int ons = 0;
};

class RecordingScreenPower : public ScreenPower {
public:
    explicit RecordingScreenPower(PowerLog& log) : m_log(log) {}
    bool turnOff() override {
        ++m_log.offs;
        return true;
    }
    void turnOn() override { ++m_log.ons; }

private:
    PowerLog& m_log;
};

} // namespace

class TestDisplayNight : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        fixture.setUp();
        power = PowerLog();
        NightWatch::setScreenPowerFactoryForTesting(
            [this] { return std::make_unique<RecordingScreenPower>(power); });
        saveSetting(QStringLiteral("Check4"), QStringLiteral("1"));
        saveSetting(QStringLiteral("Night From"), QStringLiteral("23:00"));
        saveSetting(QStringLiteral("Night To"), QStringLiteral("06:30"));
    }
    void cleanup() {
        NightWatch::setScreenPowerFactoryForTesting({});
        fixture.tearDown();
    }
    void screenOffUntilTheMorning();
    void someoneAtTheScreenAtNight();
    void dimmedLook();
    void reportsWaitForTheMorning();

private:
    // The display's clock at a local time on a given day, observations dated by it as well.
    void setTime(int day, int hour, int minute) {
        clock = QDateTime(QDate(2026, 12, day), QTime(hour, minute)).toUTC();
        fixture.service->setObservationTime(clock.toSecsSinceEpoch());
    }
    DisplayWindow* open() {
        DisplayWindow::setClockForTesting([this] { return clock; });
        DisplayWindow* display = DisplayFixture::openDisplay();
        display->refreshTick();
        return display;
    }
    int requests() const { return fixture.service->weatherRequestCount(); }

    DisplayFixture fixture;
    PowerLog power;
    QDateTime clock;
};

void TestDisplayNight::screenOffUntilTheMorning() {
    saveSetting(QStringLiteral("Night Mode"), QStringLiteral("2"));
    setTime(9, 22, 50);
    DisplayWindow* display = open();
    QVERIFY(DisplayFixture::timer(display, "Timer2")->isActive());
    QCOMPARE(power.offs, 0);

    setTime(9, 23, 0);
    display->refreshTick();
    QCOMPARE(power.offs, 1);
    QVERIFY(!DisplayFixture::timer(display, "Timer2")->isActive());
    // Every timed fetch of the night is due and none goes out, not even after a resume.
    const int atNightfall = requests();
    for (const int hour : {0, 2, 5}) {
        setTime(10, hour, 0);
        display->setTickCountForTesting(100000);
        display->refreshTick();
        display->refreshNow();
    }
    QCOMPARE(requests(), atNightfall);
    QCOMPARE(power.ons, 0);

    setTime(10, 6, 30);
    display->refreshTick();
    QCOMPARE(power.ons, 1);
    QCOMPARE(requests(), atNightfall + 1);
    QVERIFY(DisplayFixture::timer(display, "Timer2")->isActive());
    QCOMPARE(power.offs, 1);
}

void TestDisplayNight::someoneAtTheScreenAtNight() {
    saveSetting(QStringLiteral("Night Mode"), QStringLiteral("2"));
    setTime(9, 23, 30);
    DisplayWindow* display = open();
    QCOMPARE(power.offs, 1);
    const DrawingBand* band = DisplayFixture::band(display);
    // Only the background is drawn.
    QCOMPARE(band->drawing().textColour, band->drawing().background);

    // The reading is from before the night: someone coming by gets a fresh one.
    setTime(10, 1, 0);
    const int before = requests();
    QTest::keyClick(display, Qt::Key_Shift);
    display->refreshTick();
    QCOMPARE(requests(), before);
    QTest::keyClick(display, Qt::Key_Space);
    display->refreshTick();
    QCOMPARE(requests(), before + 1);
    QVERIFY(band->drawing().textColour != band->drawing().background);

    setTime(10, 1, 4);
    display->refreshTick();
    QCOMPARE(power.offs, 1);
    setTime(10, 1, 6);
    display->refreshTick();
    QCOMPARE(power.offs, 2);
    QCOMPARE(band->drawing().textColour, band->drawing().background);
    QCOMPARE(requests(), before + 1);
}

void TestDisplayNight::dimmedLook() {
    saveSetting(QStringLiteral("Night Mode"), QStringLiteral("1"));
    saveSetting(QStringLiteral("Font Color"), QString::number(0xFFFFFF));
    saveSetting(QStringLiteral("Background Color"), QString::number(0x402000));
    setTime(9, 23, 30);
    DisplayWindow* display = open();
    const BandDrawing& drawing = DisplayFixture::band(display)->drawing();
    // A quarter of the way from the background (0, 32, 64) to white, to the nearest step.
    QCOMPARE(drawing.textColour, QColor(64, 88, 112));
    const auto* hint = display->findChild<QLabel*>(QStringLiteral("Label1"));
    QCOMPARE(hint->palette().color(QPalette::WindowText), drawing.background);
    // Dimming goes on fetching as by day, and never turns the screen off.
    const int before = requests();
    display->setTickCountForTesting(100000);
    display->refreshTick();
    QCOMPARE(requests(), before + 1);
    QCOMPARE(power.offs, 0);

    setTime(10, 7, 0);
    display->refreshTick();
    QCOMPARE(DisplayFixture::band(display)->drawing().textColour, QColor(Qt::white));
}

// Nobody is there at night to read a report of the display's own timers; the morning shows
// what still fails, once, and nothing of what was mended meanwhile.
void TestDisplayNight::reportsWaitForTheMorning() {
    saveSetting(QStringLiteral("Night Mode"), QStringLiteral("1"));
    setTime(9, 23, 30);
    DisplayWindow* display = open();
    const auto ticksReported = [this] {
        return fixture.reportLines(QStringLiteral("Form2.Timer1_Timer")).size();
    };
    saveSetting(QStringLiteral("Combo1"), QStringLiteral("abc"));
    display->refreshTick();
    display->refreshTick();
    QCOMPARE(ticksReported(), 0);

    setTime(10, 7, 0);
    display->refreshTick();
    QVERIFY(ticksReported() >= 1);
    const auto inTheMorning = ticksReported();
    display->refreshTick();
    QCOMPARE(ticksReported(), inTheMorning);

    // Mended in the night: the morning has nothing to say.
    setTime(10, 23, 30);
    display->refreshTick();
    const auto atNightfall = ticksReported();
    saveSetting(QStringLiteral("Combo1"), QStringLiteral("abc"));
    display->refreshTick();
    saveSetting(QStringLiteral("Combo1"), QStringLiteral("1"));
    setTime(11, 7, 0);
    display->refreshTick();
    QCOMPARE(ticksReported(), atNightfall);
}

NIMBREL_TEST_MAIN(TestDisplayNight)
#include "tst_display_night.moc"
