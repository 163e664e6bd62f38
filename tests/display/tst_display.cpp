#include "displayfixture.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QTimeZone>

#include <cmath>

using namespace nimbrel;
using namespace nimbrel::test;
using namespace std::chrono_literals;
using Fault = sample::SampleWeatherService::Fault;

namespace {

const QString kDegree = QStringLiteral("\u00B0");

QStringList sanDiegoLines() {
    return {QStringLiteral("San Diego"),
            QStringLiteral("Current Temperature: 68 ") + kDegree + QLatin1Char('F'),
            QStringLiteral("Clear Sky"), QStringLiteral("Low: 63 ") + kDegree + QLatin1Char('F'),
            QStringLiteral("High: 73 ") + kDegree + QLatin1Char('F')};
}

QLabel* label(const DisplayWindow* display, const char* name) {
    return display->findChild<QLabel*>(QLatin1String(name));
}

// A line too wide for the band is centred by its width in the smaller font it is drawn in.
int centredX(const DrawingBand* band, const BandLine& line) {
    const double width =
        QFontMetricsF(line.font.value_or(band->font()), band).horizontalAdvance(line.text);
    return band->width() / 2 - int(std::nearbyint(width)) / 2;
}

QColor colour(const QWidget* widget, QPalette::ColorRole role) {
    return widget->palette().color(role);
}

// A key-down as the window system sends it; QTest would press Shift again before every letter
// typed with Shift, which is not what holding it down does.
void keyDown(QWidget* target, int key, Qt::KeyboardModifiers modifiers, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    if (key != Qt::Key_Shift)
        QCoreApplication::sendEvent(target, &release);
}

// Types a space-separated script: letters as typed; SHIFT presses Shift and keeps it down for
// the letters after it, UP lets it go; CAPS is the Caps Lock key; RELOAD restyles the display.
void typeScript(DisplayWindow* display, const QString& script) {
    Qt::KeyboardModifiers held;
    for (const QString& token : script.split(QLatin1Char(' '))) {
        if (token == QLatin1String("SHIFT")) {
            keyDown(display, Qt::Key_Shift, Qt::ShiftModifier);
            held = Qt::ShiftModifier;
        } else if (token == QLatin1String("UP")) {
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier);
            QCoreApplication::sendEvent(display, &release);
            held = Qt::NoModifier;
        } else if (token == QLatin1String("CAPS")) {
            keyDown(display, Qt::Key_CapsLock, Qt::NoModifier);
        } else if (token == QLatin1String("RELOAD")) {
            display->reloadStyle();
        } else {
            // Qt names the letter key the same whatever the case.
            keyDown(display, Qt::Key_A + (token.at(0).toUpper().unicode() - 'A'), held, token);
        }
    }
}

} // namespace

class TestDisplayWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { fixture.setUp(); }
    void cleanup() { fixture.tearDown(); }

    void asCreated();
    void hideSequence_data();
    void hideSequence();
    void storedHideOptionHidesHintForGood();
    void escapeHidesAndKeepsRunning();
    void closeShowsSettingsWindowAndDiscardsDisplay();
    void displayOptionsReadOnlyAtLoad();
    void bandGeometry();
    void activationHidesBand();
    void linePositions_data();
    void linePositions();
    void alignmentFollowsStoreFromNextLine();
    void refetchesEvery600thTick();
    void dayRangeAskedOncePerOpeningAndRefresh();
    void forecastNeverHoldsTheOpening();
    void getWeatherReadsSettingsWindow();
    void style_data();
    void style();
    void badStoredValues_data();
    void badStoredValues();
    void badSizeKeepsPreviousSize();
    void keepAwake_data();
    void keepAwake();
    void unchangedTickRepaintsNothing();

private:
    // At noon at the place (UTC), two points soon after, in what is left of its day, that go
    // past the reply's low and high.
    void noonWithColdAndHotHours() {
        const QDateTime noon(QDate::currentDate(), QTime(12, 0), QTimeZone::utc());
        DisplayWindow::setClockForTesting([noon] { return noon; });
        fixture.service->setObservationTime(noon.toSecsSinceEpoch());
        const qint64 now = noon.toSecsSinceEpoch();
        fixture.service->setForecast(QStringLiteral("San Diego CA"),
                                     {0, {{now + 600, 250.0}, {now + 1200, 310.0}}});
    }

    DisplayFixture fixture;
};

void TestDisplayWindow::asCreated() {
    auto* display = Forms::get<DisplayWindow>(FormId::Display);
    QTimer* timer1 = DisplayFixture::timer(display, "Timer1");
    QVERIFY(timer1->isActive());
    QCOMPARE(timer1->interval(), 1000);
    QCOMPARE(DisplayFixture::timer(display, "Timer2")->interval(), 59000);
    QVERIFY(display->windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(&display->transfer(), &sharedTransfer());

    QLabel* hint = label(display, "Label1");
    QCOMPARE(hint->text(), QStringLiteral("Press ESC To Exit. Type 'hide' to hide this text."));
    QCOMPARE(hint->geometry(), QRect(8, 8, 305, 33));
    QCOMPARE(hint->font().family(), QStringLiteral("Arial"));
    QCOMPARE(hint->font().pointSize(), 9);
    QVERIFY(hint->font().bold());
    QVERIFY(label(display, "lblData")->isHidden());
    QVERIFY(DisplayFixture::band(display)->isHidden());
    // The layout fetched once, for a location not handed over yet.
    QCOMPARE(fixture.service->weatherRequestCount(), 1);
}

void TestDisplayWindow::hideSequence_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("hintGone");
    QTest::newRow("h i d e") << "h i d e" << true;
    QTest::newRow("capitals with Caps Lock") << "CAPS H I D E" << true;
    QTest::newRow("Shift between letters") << "h SHIFT I UP d e" << false;
    QTest::newRow("Shift held throughout") << "SHIFT H I D E UP" << true;
    QTest::newRow("h h i d e") << "h h i d e" << false;
    QTest::newRow("h i e d e") << "h i e d e" << true;
    QTest::newRow("another key between") << "h i x d e" << false;
    QTest::newRow("restyled half-way") << "h i d RELOAD e" << false;
    QTest::newRow("typed again once gone") << "h i d e h i d e" << true;
}

void TestDisplayWindow::hideSequence() {
    QFETCH(QString, script);
    QFETCH(bool, hintGone);
    DisplayWindow* display = DisplayFixture::openDisplay();
    typeScript(display, script);
    QCOMPARE(label(display, "Label1")->size(), hintGone ? QSize(0, 0) : QSize(305, 33));
    QVERIFY(fixture.messages->messages.isEmpty());
}

void TestDisplayWindow::storedHideOptionHidesHintForGood() {
    saveSetting(QStringLiteral("Check1"), QStringLiteral("1"));
    DisplayWindow* display = DisplayFixture::openDisplay();
    QLabel* hint = label(display, "Label1");
    QVERIFY(hint->isHidden());
    QVERIFY(DisplayFixture::settingsWindow()->box(settings::Key::HideHint)->isChecked());
    // The sequence still runs and still shrinks the hidden label.
    typeScript(display, QStringLiteral("h i d e"));
    QCOMPARE(hint->size(), QSize(0, 0));
}

void TestDisplayWindow::escapeHidesAndKeepsRunning() {
    DisplayWindow* display = DisplayFixture::openDisplay();
    DisplayFixture::timer(display, "Timer1")->start();
    // The start command unloads the settings window once the display is up.
    QVERIFY(Forms::unload(FormId::Settings));
    QTest::keyClick(display, Qt::Key_Escape);
    QVERIFY(display->isHidden());
    QCOMPARE(Forms::loaded(FormId::Display), display);
    QVERIFY(DisplayFixture::timer(display, "Timer1")->isActive());
    QVERIFY(DisplayFixture::timer(display, "Timer2")->isActive());
    const Form* settings = Forms::loaded(FormId::Settings);
    QVERIFY(settings);
    QVERIFY(settings->isVisible());
}

void TestDisplayWindow::closeShowsSettingsWindowAndDiscardsDisplay() {
    QPointer<DisplayWindow> display = DisplayFixture::openDisplay();
    QVERIFY(Forms::unload(FormId::Settings));
    display->close();
    const Form* settings = Forms::loaded(FormId::Settings);
    QVERIFY(settings);
    QVERIFY(settings->isVisible());
    QVERIFY(!Forms::loaded(FormId::Display));
    QTRY_VERIFY(display.isNull());
    QVERIFY(fixture.messages->messages.isEmpty());
}

void TestDisplayWindow::displayOptionsReadOnlyAtLoad() {
    DisplayWindow* display = DisplayFixture::openDisplay();
    // "Check4" reads 1 when absent and the box stores what it is given.
    QCOMPARE(fixture.settings->entries().value(QStringLiteral("Check4")), QStringLiteral("1"));
    QVERIFY(!fixture.settings->entries().contains(QStringLiteral("Check1")));
    QVERIFY(!label(display, "Label1")->isHidden());
    QVERIFY(DisplayFixture::timer(display, "Timer2")->isActive());

    saveSetting(QStringLiteral("Check1"), QStringLiteral("1"));
    saveSetting(QStringLiteral("Check4"), QStringLiteral("0"));
    QTest::keyClick(display, Qt::Key_Escape);
    display->reloadStyle();
    Forms::show(FormId::Display);
    QVERIFY(!label(display, "Label1")->isHidden());
    QVERIFY(DisplayFixture::timer(display, "Timer2")->isActive());

    // A display created anew reads them again.
    QVERIFY(Forms::unload(FormId::Display));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    display = DisplayFixture::openDisplay();
    QVERIFY(label(display, "Label1")->isHidden());
    QVERIFY(!DisplayFixture::timer(display, "Timer2")->isActive());
}

void TestDisplayWindow::bandGeometry() {
    DisplayWindow* display = DisplayFixture::openDisplay();
    QCOMPARE(display->geometry(), QGuiApplication::primaryScreen()->geometry());
    display->refreshTick();
    const DrawingBand* band = DisplayFixture::band(display);
    const QLabel* data = label(display, "lblData");
    QVERIFY(band->isVisible());
    QVERIFY(data->isHidden());
    const int lineHeight = data->fontMetrics().lineSpacing();
    QCOMPARE(data->height(), 5 * lineHeight);
    QCOMPARE(band->geometry().left(), 0);
    QCOMPARE(band->width(), display->width());
    QCOMPARE(band->height(), data->height());
    QVERIFY(std::abs(band->y() - (display->height() - band->height()) / 2.0) <= 0.5);

    // A one-line message makes a one-line band.
    saveSetting(QStringLiteral("APIKey"), QString());
    display->reloadStyle();
    QVERIFY(display->weatherText().startsWith(QLatin1String("Invalid API key")));
    QCOMPARE(band->height(), lineHeight);
    QVERIFY(std::abs(band->y() - (display->height() - lineHeight) / 2.0) <= 0.5);
}

void TestDisplayWindow::activationHidesBand() {
    DisplayWindow* display = DisplayFixture::openDisplay();
    display->refreshTick();
    const DrawingBand* band = DisplayFixture::band(display);
    QVERIFY(!band->isHidden());
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(display, &activate);
    QVERIFY(band->isHidden());
    QVERIFY(label(display, "lblData")->isHidden());
    display->refreshTick();
    QVERIFY(!band->isHidden());
}

void TestDisplayWindow::linePositions_data() {
    QTest::addColumn<QString>("combo");
    QTest::addColumn<bool>("withLocation");
    QTest::addColumn<bool>("centred");
    QTest::newRow("nothing stored") << QString() << true << true;
    QTest::newRow("Center") << "1" << true << true;
    QTest::newRow("Left Justify") << "0" << true << false;
    QTest::newRow("any other value") << "5" << true << false;
    QTest::newRow("no place name") << "1" << false << true;
}

void TestDisplayWindow::linePositions() {
    QFETCH(QString, combo);
    QFETCH(bool, withLocation);
    QFETCH(bool, centred);
    if (!combo.isNull())
        saveSetting(QStringLiteral("Combo1"), combo);
    DisplayFixture::loadDisplay();
    DisplayFixture::settingsWindow()->box(settings::Key::ShowLocation)->setChecked(withLocation);
    DisplayWindow* display = DisplayFixture::openDisplay();
    display->refreshTick();

    const DrawingBand* band = DisplayFixture::band(display);
    const BandDrawing& drawing = band->drawing();
    QCOMPARE(drawing.font, band->font());
    QCOMPARE(drawing.font.pointSize(), 72);
    QStringList expected = sanDiegoLines();
    if (!withLocation)
        expected.removeFirst();
    QCOMPARE(drawing.lines.size(), expected.size());
    const int lineHeight = QFontMetrics(band->font(), band).lineSpacing();
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const BandLine& line = drawing.lines.at(i);
        QCOMPARE(line.text, expected.at(i));
        // Without a place name the first line is empty and only moves the rest down.
        QCOMPARE(line.top, int(withLocation ? i : i + 1) * lineHeight);
        QCOMPARE(line.x, centred ? centredX(band, line) : 0);
    }
}

void TestDisplayWindow::alignmentFollowsStoreFromNextLine() {
    saveSetting(QStringLiteral("Combo1"), QStringLiteral("0"));
    DisplayWindow* display = DisplayFixture::openDisplay();
    display->refreshTick();
    const DrawingBand* band = DisplayFixture::band(display);
    for (const BandLine& line : band->drawing().lines)
        QCOMPARE(line.x, 0);
    // No restyling: the tick itself reads the store.
    saveSetting(QStringLiteral("Combo1"), QStringLiteral("1"));
    display->refreshTick();
    for (const BandLine& line : band->drawing().lines)
        QCOMPARE(line.x, centredX(band, line));

    saveSetting(QStringLiteral("Combo1"), QStringLiteral("abc"));
    fixture.messages->messages.clear();
    display->refreshTick();
    // Reported once, without holding the tick: the report stays up while the other lines fail
    // the same way. Each line is then drawn from the left edge.
    QCOMPARE(fixture.reportLines(QStringLiteral("Form2.Timer1_Timer")), QList<int>{112});
    QCOMPARE(fixture.messages->modelessOnScreen(), 1);
    for (const BandLine& line : band->drawing().lines)
        QCOMPARE(line.x, 0);
    // Once dismissed, the next tick reports it again.
    fixture.messages->dismissModeless();
    display->refreshTick();
    QCOMPARE(fixture.reportLines(QStringLiteral("Form2.Timer1_Timer")), QList<int>(2, 112));
}

void TestDisplayWindow::refetchesEvery600thTick() {
    DisplayWindow* display = DisplayFixture::openDisplay();
    fixture.service->clearRequests();
    sample::SampleWeatherService::City city;
    city.name = QStringLiteral("Ocean Beach");
    fixture.service->setCity(QStringLiteral("San Diego CA"), city);

    display->setTickCountForTesting(598);
    display->refreshTick();
    QCOMPARE(display->tickCount(), 599);
    QCOMPARE(fixture.service->weatherRequestCount(), 0);
    display->refreshTick();
    QCOMPARE(display->tickCount(), 0);
    QCOMPARE(fixture.service->weatherRequestCount(), 1);
    QVERIFY(fixture.service->requestLines().first().contains(
        QLatin1String("/data/2.5/weather?q=San%20Diego%20CA&APPID=demo-key ")));
    QCOMPARE(DisplayFixture::band(display)->drawing().lines.first().text, city.name);

    // Neither restyling nor showing again restarts the count.
    display->setTickCountForTesting(42);
    display->reloadStyle();
    Forms::show(FormId::Display);
    QCOMPARE(display->tickCount(), 42);
}

void TestDisplayWindow::dayRangeAskedOncePerOpeningAndRefresh() {
    noonWithColdAndHotHours();
    DisplayWindow* display = DisplayFixture::openDisplay();
    QCOMPARE(fixture.service->weatherRequestCount(), 3);
    QCOMPARE(fixture.service->forecastRequestCount(), 1);
    display->refreshTick();
    const auto lines = DisplayFixture::band(display)->drawing().lines;
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines.at(3).text, QStringLiteral("Low: -10 ") + kDegree + QLatin1Char('F'));
    QCOMPARE(lines.at(4).text, QStringLiteral("High: 98 ") + kDegree + QLatin1Char('F'));

    display->refreshNow();
    QCOMPARE(fixture.service->weatherRequestCount(), 4);
    QTRY_COMPARE_WITH_TIMEOUT(fixture.service->forecastRequestCount(), 2, 5000);
}

// The reading is drawn as soon as it is read; the forecast's figures follow when they come.
void TestDisplayWindow::forecastNeverHoldsTheOpening() {
    noonWithColdAndHotHours();
    connect(fixture.service.get(), &sample::SampleWeatherService::requestReceived, this,
            [this](const QString& line) {
                const bool forecast = line.contains(QLatin1String("/forecast"));
                fixture.service->setFault(forecast ? Fault::Delay : Fault::None, 1500ms);
            });
    const auto lowAndHigh = [](const DisplayWindow* display) {
        const auto lines = DisplayFixture::band(display)->drawing().lines;
        return lines.size() == 5 ? lines.at(3).text + u' ' + lines.at(4).text : QString();
    };
    DisplayWindow* display = DisplayFixture::loadDisplay();
    display->setRequest({QStringLiteral("San Diego CA"), QStringLiteral("Fahrenheit")});
    display->reloadStyle();
    Forms::show(FormId::Display);
    display->refreshTick();
    QVERIFY(display->forecastTransfer().isFetchingInBackground());
    QCOMPARE(lowAndHigh(display), QStringLiteral("Low: 63 \u00B0F High: 73 \u00B0F"));

    QTRY_VERIFY_WITH_TIMEOUT(!display->forecastTransfer().isFetchingInBackground(), 5000);
    display->refreshTick();
    QCOMPARE(lowAndHigh(display), QStringLiteral("Low: -10 \u00B0F High: 98 \u00B0F"));
    QCOMPARE(fixture.service->forecastRequestCount(), 1);
}

void TestDisplayWindow::getWeatherReadsSettingsWindow() {
    DisplayWindow* display = DisplayFixture::openDisplay();
    QVERIFY(Forms::unload(FormId::Settings));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // The box captioned "High" cleared: the "High: " line goes, the "Low: " line stays.
    saveSetting(QStringLiteral("Check6"), QStringLiteral("0"));
    display->setRequest({display->request().location, QStringLiteral("Celsius")});
    fixture.service->clearRequests();

    const QString text = display->getWeather();
    const Form* settings = Forms::loaded(FormId::Settings);
    QVERIFY(settings);
    QVERIFY(!settings->isVisible());
    QCOMPARE(text, QStringLiteral("San Diego\r\nCurrent Temperature: 20 ") + kDegree +
                       QStringLiteral("C\r\nClear Sky\r\nLow: 17 ") + kDegree +
                       QStringLiteral("C\r\n"));
    QCOMPARE(fixture.service->weatherRequestCount(), 1);
}

void TestDisplayWindow::style_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("italic");
    QTest::addColumn<bool>("strikeOut");
    QTest::addColumn<bool>("underline");
    QTest::addColumn<QColor>("text");
    QTest::addColumn<QColor>("hint");
    QTest::addColumn<QColor>("background");
    const QString arial = QStringLiteral("Arial");
    const QColor white(255, 255, 255);
    const QColor green(0, 255, 0);
    const QColor black(0, 0, 0);
    QTest::newRow("nothing stored") << QString() << QString() << arial << 72 << true << false
                                    << false << false << white << green << black;
    QTest::newRow("FontBold in lower case")
        << "FontBold"
        << "true" << arial << 72 << false << false << false << false << white << green << black;
    QTest::newRow("FontItalic") << "FontItalic"
                                << "True" << arial << 72 << true << true << false << false << white
                                << green << black;
    QTest::newRow("FontSize 10.5")
        << "FontSize"
        << "10.5" << arial << 10 << true << false << false << false << white << green << black;
    QTest::newRow("FontSize 11.5")
        << "FontSize"
        << "11.5" << arial << 12 << true << false << false << false << white << green << black;
    QTest::newRow("FontStrikethru as the font command spells it")
        << "FontStrikethru"
        << "True" << arial << 72 << true << false << true << false << white << green << black;
    QTest::newRow("FontUnderline as the font command spells it")
        << "FontUnderline"
        << "True" << arial << 72 << true << false << false << true << white << green << black;
    QTest::newRow("FontName") << "FontName"
                              << "Courier New"
                              << "Courier New" << 72 << true << false << false << false << white
                              << green << black;
    QTest::newRow("Font Color red") << "Font Color"
                                    << "255" << arial << 72 << true << false << false << false
                                    << QColor(255, 0, 0) << QColor(255, 0, 0) << black;
    QTest::newRow("Background Color blue") << "Background Color"
                                           << "16711680" << arial << 72 << true << false << false
                                           << false << white << green << QColor(0, 0, 255);
}

void TestDisplayWindow::style() {
    QFETCH(QString, key);
    QFETCH(QString, value);
    if (!key.isEmpty())
        saveSetting(key, value);
    DisplayWindow* display = DisplayFixture::openDisplay();
    display->refreshTick();

    const DrawingBand* band = DisplayFixture::band(display);
    const QLabel* data = label(display, "lblData");
    const QLabel* hint = label(display, "Label1");
    for (const QWidget* widget :
         {static_cast<const QWidget*>(band), static_cast<const QWidget*>(data)}) {
        const QFont font = widget->font();
        QTEST(font.family(), "family");
        QTEST(font.pointSize(), "size");
        QTEST(font.bold(), "bold");
        QTEST(font.italic(), "italic");
        QTEST(font.strikeOut(), "strikeOut");
        QTEST(font.underline(), "underline");
        QTEST(colour(widget, QPalette::WindowText), "text");
        QTEST(colour(widget, QPalette::Window), "background");
    }
    QTEST(colour(hint, QPalette::WindowText), "hint");
    QTEST(colour(hint, QPalette::Window), "background");
    QTEST(colour(display, QPalette::Window), "background");
    QTEST(band->drawing().textColour, "text");
    QTEST(band->drawing().background, "background");
    QVERIFY(data->alignment().testFlag(Qt::AlignHCenter));
    QVERIFY(fixture.messages->messages.isEmpty());
}

void TestDisplayWindow::badStoredValues_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QList<int>>("lines");
    QTest::addColumn<QString>("description");
    QTest::newRow("FontSize not a number") << "FontSize"
                                           << "abc" << QList<int>{104, 112} << "Type mismatch";
    QTest::newRow("FontSize 0") << "FontSize"
                                << "0" << QList<int>{104, 112} << "Invalid property value";
    QTest::newRow("FontSize beyond 16 bits") << "FontSize"
                                             << "40000" << QList<int>{104, 112} << "Overflow";
    QTest::newRow("Font Color not a number")
        << "Font Color"
        << "abc" << QList<int>{106, 114, 124, 126} << "Type mismatch";
    QTest::newRow("Font Color beyond 24 bits")
        << "Font Color"
        << "16777216" << QList<int>{106, 114, 124, 126} << "Invalid property value";
    QTest::newRow("Background Color not a number")
        << "Background Color"
        << "x" << QList<int>{106, 110, 114, 126} << "Type mismatch";
    QTest::newRow("Combo1 not a number") << "Combo1"
                                         << "abc" << QList<int>{108} << "Type mismatch";
}

void TestDisplayWindow::badStoredValues() {
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QList<int>, lines);
    QFETCH(QString, description);
    DisplayWindow* display = DisplayFixture::openDisplay();
    const DrawingBand* band = DisplayFixture::band(display);
    const QLabel* hint = label(display, "Label1");
    const QFont fontBefore = band->font();
    const QPalette bandBefore = band->palette();
    const QPalette hintBefore = hint->palette();

    saveSetting(key, value);
    display->reloadStyle();
    QCOMPARE(fixture.reportLines(QStringLiteral("Form2.ReLoadStyle")), lines);
    for (const Message& message : std::as_const(fixture.messages->messages)) {
        QCOMPARE(message.title, QStringLiteral("Application Error"));
        QVERIFY2(message.text.startsWith(description + QLatin1String("\r\n")),
                 qPrintable(message.text));
    }
    // Each failed property keeps what it had.
    QCOMPARE(band->font(), fontBefore);
    QCOMPARE(band->palette().color(QPalette::WindowText), bandBefore.color(QPalette::WindowText));
    QCOMPARE(band->palette().color(QPalette::Window), bandBefore.color(QPalette::Window));
    QCOMPARE(hint->palette().color(QPalette::WindowText), hintBefore.color(QPalette::WindowText));
    QCOMPARE(hint->palette().color(QPalette::Window), hintBefore.color(QPalette::Window));
}

void TestDisplayWindow::badSizeKeepsPreviousSize() {
    saveSetting(QStringLiteral("FontSize"), QStringLiteral("40"));
    DisplayWindow* display = DisplayFixture::openDisplay();
    saveSetting(QStringLiteral("FontSize"), QStringLiteral("abc"));
    saveSetting(QStringLiteral("FontItalic"), QStringLiteral("True"));
    display->reloadStyle();
    const QFont font = DisplayFixture::band(display)->font();
    QCOMPARE(font.pointSize(), 40);
    // The statements after the failed one on the same line still ran.
    QVERIFY(font.italic());
    QCOMPARE(fixture.reportLines(QStringLiteral("Form2.ReLoadStyle")), (QList<int>{104, 112}));
}

void TestDisplayWindow::keepAwake_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("on");
    QTest::newRow("nothing stored") << QString() << true;
    QTest::newRow("1") << "1" << true;
    QTest::newRow("0") << "0" << false;
}

void TestDisplayWindow::keepAwake() {
    QFETCH(QString, stored);
    QFETCH(bool, on);
    if (!stored.isNull())
        saveSetting(QStringLiteral("Check4"), stored);
    DisplayWindow* display = DisplayFixture::openDisplay();
    QTimer* timer2 = DisplayFixture::timer(display, "Timer2");
    QCOMPARE(timer2->isActive(), on);
    // Made with the window when it will be needed, and only then.
    QCOMPARE(fixture.keepAwake.created, on ? 1 : 0);
    QCOMPARE(fixture.keepAwake.nudges, 0);
    if (on) {
        display->keepAwakeTick();
        display->keepAwakeTick();
        QCOMPARE(fixture.keepAwake.created, 1);
        QCOMPARE(fixture.keepAwake.nudges, 2);
        // The timer is what drives the tick.
        timer2->setInterval(1);
        QTRY_VERIFY(fixture.keepAwake.nudges >= 4);
    } else {
        // Ticking the box later does not reach this window.
        DisplayFixture::settingsWindow()->box(settings::Key::KeepAwake)->setChecked(true);
        display->reloadStyle();
        Forms::show(FormId::Display);
        QVERIFY(!timer2->isActive());
        QCOMPARE(fixture.keepAwake.created, 0);
    }
}

void TestDisplayWindow::unchangedTickRepaintsNothing() {
    DisplayWindow* display = DisplayFixture::openDisplay();
    QVERIFY(QTest::qWaitForWindowExposed(display));
    QTRY_COMPARE(QGuiApplication::focusWindow(), display->windowHandle());
    display->refreshTick();
    QTRY_VERIFY(!DisplayFixture::band(display)->isHidden());
    QCoreApplication::processEvents();

    auto* counter = new PaintCounter(DisplayFixture::band(display));
    display->refreshTick();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(counter->paints, 0);

    // The control: a tick that changes something does repaint.
    saveSetting(QStringLiteral("Combo1"), QStringLiteral("0"));
    display->refreshTick();
    QTRY_VERIFY(counter->paints > 0);
}

NIMBREL_TEST_MAIN(TestDisplayWindow)
#include "tst_display.moc"
