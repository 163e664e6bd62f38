// The display on two monitors of different sizes (offscreen, from two_monitors.json): it covers
// the monitor the user put the settings window on or named on the command line, and its lines
// stand whole on either, clear of the hint. CTest runs it again with QT_SCALE_FACTOR=2.
#include "displayfixture.h"
#include "startscreen.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTest>

#include <cmath>
#include <memory>

using namespace nimbrel;
using namespace nimbrel::test;

namespace {

QScreen* screenNamed(const QString& name) {
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen->name() == name)
            return screen;
    }
    return nullptr;
}

} // namespace

class TestDisplayScreens : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { fixture.setUp(); }
    void cleanup() {
        setStartScreen(nullptr);
        fixture.tearDown();
    }
    void linesStandWholeClearOfHint_data();
    void linesStandWholeClearOfHint();
    void coversMonitorHoldingMostOfSettings();

private:
    DisplayFixture fixture;
};

void TestDisplayScreens::linesStandWholeClearOfHint_data() {
    QTest::addColumn<QString>("screenName");
    QTest::newRow("1920x1080") << QStringLiteral("Wide");
    QTest::newRow("800x480") << QStringLiteral("Small");
}

void TestDisplayScreens::linesStandWholeClearOfHint() {
    QFETCH(QString, screenName);
    QScreen* screen = screenNamed(screenName);
    QVERIFY(screen);
    setStartScreen(screen);
    DisplayWindow* display = DisplayFixture::openDisplay();
    QCOMPARE(display->geometry(), screen->geometry());
    display->refreshTick();

    const DrawingBand* band = DisplayFixture::band(display);
    const BandDrawing& drawing = band->drawing();
    QCOMPARE(drawing.lines.size(), 5);
    const QRect hint = display->findChild<QLabel*>(QStringLiteral("Label1"))->geometry();
    QVERIFY(!hint.isEmpty());
    const int lineSpacing = QFontMetrics(drawing.font, band).lineSpacing();
    for (const BandLine& line : drawing.lines) {
        const QFontMetricsF metrics(line.font.value_or(drawing.font), band);
        const QRect drawn(band->mapTo(display, QPoint(line.x, line.top)),
                          QSize(int(std::ceil(metrics.horizontalAdvance(line.text))), lineSpacing));
        const std::unique_ptr<char[]> rect(QTest::toString(drawn)); // Qt hands over the copy
        const QByteArray where = line.text.toUtf8() + ' ' + rect.get();
        QVERIFY2(display->rect().contains(drawn), where.constData());
        QVERIFY2(!drawn.intersects(hint), where.constData());
    }
    // The stored size where the five lines fit, a smaller one for all of them where not.
    QCOMPARE(drawing.font == band->font(), screen->geometry().height() >= 1080);
}

// Qt counts a window as on the monitor under its centre: a tall window whose centre is on the
// small monitor, while most of it is on the wide one, is on the small one for Qt.
void TestDisplayScreens::coversMonitorHoldingMostOfSettings() {
    QScreen* wide = screenNamed(QStringLiteral("Wide"));
    QScreen* small = screenNamed(QStringLiteral("Small"));
    QVERIFY(wide && small);
    // Logical sizes shrink with the scale factor; a monitor's top-left corner does not move.
    const int scaled = 1920 / wide->geometry().width();
    QWidget* settings = DisplayFixture::settingsWindow();
    settings->setScreen(small);
    const int left = wide->geometry().right() + 1 - 420 / scaled;
    settings->setGeometry(left, 0, small->geometry().left() + 580 / scaled - left, 900 / scaled);
    Forms::show(FormId::Settings);
    // At scale 2 the monitors lie apart in logical coordinates, and Qt already agrees.
    if (scaled == 1)
        QCOMPARE(settings->screen(), small);
    DisplayWindow* display = DisplayFixture::openDisplay();
    QCOMPARE(display->geometry(), wide->geometry());

    // The command line's choice wins, at the next showing too.
    display->hide();
    setStartScreen(small);
    Forms::show(FormId::Display);
    QCOMPARE(display->geometry(), small->geometry());
}

NIMBREL_TEST_MAIN(TestDisplayScreens)
#include "tst_display_screens.moc"
