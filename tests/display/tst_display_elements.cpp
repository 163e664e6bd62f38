// The wall's extra elements (the time and date, the details line, the symbol and the forecast
// strip) on the screens wall displays have, from five screens given to the offscreen platform
// (five_screens.json); CTest runs it again with QT_SCALE_FACTOR=2.
#include "displayfixture.h"
#include "forecaststrip.h"
#include "startscreen.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTest>

#include <cmath>

using namespace nimbrel;
using namespace nimbrel::test;

namespace {

void chooseEveryElement(const QString& forecast) {
    for (const char* key : {"Show Time", "Show Date", "Show Details", "Show Symbol"})
        saveSetting(QLatin1String(key), QStringLiteral("1"));
    saveSetting(QStringLiteral("Forecast"), forecast);
}

QByteArray where(const QString& what, const QRect& rect) {
    const std::unique_ptr<char[]> text(QTest::toString(rect)); // Qt hands over the copy
    return what.toUtf8() + ' ' + text.get();
}

} // namespace

class TestDisplayElements : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        fixture.setUp();
        fixture.service->setMadeUpForecast(true);
    }
    void cleanup() {
        setStartScreen(nullptr);
        fixture.tearDown();
    }
    void wholeAndApart_data();
    void wholeAndApart();
    void noNewRequests();

private:
    DisplayFixture fixture;
};

void TestDisplayElements::wholeAndApart_data() {
    QTest::addColumn<QString>("screenName");
    QTest::addColumn<QString>("forecast");
    for (QScreen* screen : QGuiApplication::screens()) {
        const QByteArray name = screen->name().toUtf8();
        QTest::newRow(QByteArray(name + " hours").constData())
            << screen->name() << QStringLiteral("1");
        QTest::newRow(QByteArray(name + " days").constData())
            << screen->name() << QStringLiteral("2");
    }
}

void TestDisplayElements::wholeAndApart() {
    QFETCH(QString, screenName);
    QFETCH(QString, forecast);
    chooseEveryElement(forecast);
    QScreen* screen = nullptr;
    for (QScreen* candidate : QGuiApplication::screens()) {
        if (candidate->name() == screenName)
            screen = candidate;
    }
    QVERIFY(screen);
    setStartScreen(screen);
    DisplayWindow* display = DisplayFixture::openDisplay();
    QCOMPARE(display->geometry(), screen->geometry());
    // An hour and a half on, so that the age line is up as well.
    const QDateTime later = QDateTime::currentDateTimeUtc().addSecs(90 * 60);
    DisplayWindow::setClockForTesting([later] { return later; });
    display->refreshTick();

    QList<QPair<QString, QRect>> taken;
    const auto take = [&](const QString& what, const QRect& rect) {
        QVERIFY2(display->rect().contains(rect), where(what, rect).constData());
        for (const auto& [other, otherRect] : std::as_const(taken))
            QVERIFY2(
                !rect.intersects(otherRect),
                QByteArray(where(what, rect) + " overlaps " + where(other, otherRect)).constData());
        taken.append({what, rect});
    };

    const auto* hint = display->findChild<QLabel*>(QStringLiteral("Label1"));
    take(QStringLiteral("hint"), hint->geometry());
    const auto* age = display->findChild<QLabel*>(QStringLiteral("ageLine"));
    QVERIFY(age->isVisible());
    take(age->text(), age->geometry());

    const DrawingBand* band = DisplayFixture::band(display);
    const BandDrawing& drawing = band->drawing();
    // The time, the five lines and the details line, the summary with its symbol.
    QCOMPARE(drawing.lines.size(), 7);
    QVERIFY(std::any_of(drawing.lines.begin(), drawing.lines.end(),
                        [](const BandLine& line) { return line.symbol != WeatherSymbol::None; }));
    const int lineSpacing = QFontMetrics(drawing.font, band).lineSpacing();
    for (const BandLine& line : drawing.lines) {
        const QFont font = line.font.value_or(drawing.font);
        const double width = QFontMetricsF(font, band).horizontalAdvance(line.text) +
                             (line.symbol != WeatherSymbol::None ? band->symbolAdvance(font) : 0);
        take(line.text, QRect(band->mapTo(display, QPoint(line.x, line.top)),
                              QSize(int(std::ceil(width)), lineSpacing)));
    }

    const auto* strip = display->findChild<ForecastStrip*>(QStringLiteral("forecastStrip"));
    QVERIFY(strip->isVisible());
    QVERIFY(strip->columnsShown() >= 1);
    const QFontMetrics stripMetrics(strip->font(), strip);
    for (int i = 0; i < strip->columnsShown(); ++i) {
        const QRect column = strip->columnRect(i);
        const ForecastColumn& shown = strip->columns().at(i);
        for (const QString& text : {shown.heading, shown.temperature, shown.chance})
            QVERIFY2(stripMetrics.horizontalAdvance(text) <= column.width(), qPrintable(text));
        take(shown.heading, QRect(strip->mapTo(display, column.topLeft()), column.size()));
    }
}

// The elements come from the replies the display already asks for: the same requests with every
// element on as with none, at the opening and at a timed refresh.
void TestDisplayElements::noNewRequests() {
    // Loaded first, as the start command has it, so that both openings start alike.
    DisplayFixture::settingsWindow();
    QList<int> counts;
    for (const bool elements : {false, true}) {
        if (elements)
            chooseEveryElement(QStringLiteral("2"));
        fixture.service->clearRequests();
        DisplayWindow* display = DisplayFixture::openDisplay();
        display->setTickCountForTesting(599);
        display->refreshTick();
        QTRY_VERIFY_WITH_TIMEOUT(!display->forecastTransfer().isFetchingInBackground(), 5000);
        counts.append(
            {fixture.service->weatherRequestCount(), fixture.service->forecastRequestCount()});
        Forms::unload(FormId::Display);
    }
    QCOMPARE(counts.mid(2), counts.mid(0, 2));
    QVERIFY(counts.at(3) >= 1);
}

NIMBREL_TEST_MAIN(TestDisplayElements)
#include "tst_display_elements.moc"
