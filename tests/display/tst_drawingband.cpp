#include "drawingband.h"
#include "rounding.h"
#include "testsupport.h"

#include <QFontMetricsF>
#include <QImage>
#include <QTest>

using namespace nimbrel;

namespace {

using nimbrel::test::PaintCounter;

BandDrawing twoLines(const DrawingBand& band) {
    BandDrawing drawing = band.blankDrawing();
    drawing.textColour = QColor(255, 255, 0);
    drawing.background = QColor(0, 0, 255);
    drawing.lines = {BandLine{QStringLiteral("WWW"), 10, 0, std::nullopt},
                     BandLine{QStringLiteral("III"), 200, band.lineHeight(), std::nullopt}};
    return drawing;
}

} // namespace

class TestDrawingBand : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void roundHalfEven_data();
    void roundHalfEven();
    void centredLineX_data();
    void centredLineX();
    void repaintsOnlyWhatDiffers();
    void paintsLinesInItsColours();
    void lineWiderThanTheBandShrinksToFitWhole();
};

void TestDrawingBand::roundHalfEven_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("rounded");
    QTest::newRow("0.5") << 0.5 << 0;
    QTest::newRow("1.5") << 1.5 << 2;
    QTest::newRow("2.5") << 2.5 << 2;
    QTest::newRow("2.49") << 2.49 << 2;
    QTest::newRow("2.51") << 2.51 << 3;
    QTest::newRow("-1.5") << -1.5 << -2;
    QTest::newRow("huge") << 1e12 << std::numeric_limits<int>::max();
    // A comparison that is false for NaN must not let it through to the cast.
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN()
                                  << std::numeric_limits<int>::min();
}

void TestDrawingBand::roundHalfEven() {
    QFETCH(double, value);
    QTEST(nimbrel::roundHalfEvenToInt(value), "rounded");
}

void TestDrawingBand::centredLineX_data() {
    QTest::addColumn<int>("bandWidth");
    QTest::addColumn<double>("lineWidth");
    QTest::addColumn<int>("x");
    // 300.5 rounds to 300 (even), 301.5 to 302; odd widths lose their half pixel on both sides.
    QTest::newRow("half rounds down to even") << 1920 << 300.5 << 960 - 150;
    QTest::newRow("half rounds up to even") << 1920 << 301.5 << 960 - 151;
    QTest::newRow("odd band") << 1921 << 100.0 << 960 - 50;
    QTest::newRow("odd line") << 1921 << 101.0 << 960 - 50;
    QTest::newRow("fraction below half") << 1920 << 101.4 << 960 - 50;
    QTest::newRow("wider than the band") << 100 << 250.0 << -75;
}

void TestDrawingBand::centredLineX() {
    QFETCH(int, bandWidth);
    QFETCH(double, lineWidth);
    QTEST(nimbrel::centredLineX(bandWidth, lineWidth), "x");
}

void TestDrawingBand::repaintsOnlyWhatDiffers() {
    DrawingBand band;
    band.resize(400, 200);
    band.show();
    QVERIFY(QTest::qWaitForWindowExposed(&band));
    const BandDrawing first = twoLines(band);
    band.present(first);
    auto* counter = new PaintCounter(&band);
    QCoreApplication::processEvents();
    counter->paints = 0;

    band.present(first);
    QCoreApplication::processEvents();
    QCOMPARE(counter->paints, 0);

    BandDrawing moved = first;
    moved.lines[1].x += 1;
    band.present(moved);
    QTRY_VERIFY(counter->paints > 0);
    counter->paints = 0;

    BandDrawing recoloured = moved;
    recoloured.textColour = Qt::white;
    band.present(recoloured);
    QTRY_VERIFY(counter->paints > 0);
}

void TestDrawingBand::paintsLinesInItsColours() {
    DrawingBand band;
    QFont font(QStringLiteral("Arial"), 40);
    font.setBold(true);
    band.setFont(font);
    band.resize(400, 3 * band.lineHeight());
    const BandDrawing drawing = twoLines(band);
    band.present(drawing);
    QImage image(band.size(), QImage::Format_RGB32);
    band.render(&image);

    QCOMPARE(image.pixelColor(399, image.height() - 1), drawing.background);
    // Ink of the first line starts close to its x and stays within its own line.
    int firstInk = -1;
    for (int x = 0; x < 200 && firstInk < 0; ++x)
        for (int y = 0; y < band.lineHeight(); ++y)
            if (image.pixelColor(x, y) == drawing.textColour) {
                firstInk = x;
                break;
            }
    QVERIFY2(firstInk >= 10 && firstInk <= 16, qPrintable(QString::number(firstInk)));
    for (int y = 2 * band.lineHeight(); y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            QVERIFY(image.pixelColor(x, y) == drawing.background);
}

// The service's own messages are longer than a screen is wide at the display's size. Such a line
// is drawn whole at the largest size that fits, centred by the width it really takes, while a
// line that fits keeps the band's font.
void TestDrawingBand::lineWiderThanTheBandShrinksToFitWhole() {
    DrawingBand band;
    QFont font(QStringLiteral("Arial"), 40);
    font.setBold(true);
    band.setFont(font);
    band.resize(400, 2 * band.lineHeight());
    const QString message = QStringLiteral(
        "Invalid API key. Please see https://openweathermap.org/faq#error401 for more info.");
    const QString shortLine = QStringLiteral("72 F");

    const FittedLine fitting = band.fittedLine(shortLine);
    QVERIFY(!fitting.font);
    QCOMPARE(fitting.width, band.lineWidth(shortLine));

    const FittedLine shrunk = band.fittedLine(message);
    QVERIFY(shrunk.font);
    QVERIFY(shrunk.font->bold());
    QVERIFY(shrunk.width <= band.width());
    QCOMPARE(shrunk.width, QFontMetricsF(*shrunk.font, &band).horizontalAdvance(message));
    QFont oneBigger = *shrunk.font;
    oneBigger.setPointSize(shrunk.font->pointSize() + 1);
    QVERIFY(QFontMetricsF(oneBigger, &band).horizontalAdvance(message) > band.width());

    BandDrawing drawing = band.blankDrawing();
    drawing.textColour = Qt::white;
    drawing.background = Qt::black;
    drawing.lines = {
        BandLine{message, nimbrel::centredLineX(band.width(), shrunk.width), 0, shrunk.font},
        BandLine{shortLine, nimbrel::centredLineX(band.width(), fitting.width), band.lineHeight(),
                 fitting.font}};
    band.present(drawing);
    QImage image(band.size(), QImage::Format_RGB32);
    band.render(&image);
    const auto inkColumns = [&](int fromRow, int toRow) {
        int first = image.width();
        int last = -1;
        for (int y = fromRow; y < toRow; ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y) != drawing.background) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
        return std::pair(first, last);
    };
    // Nothing is cut at either edge, and the margins left and right are alike.
    const auto [first, last] = inkColumns(0, band.lineHeight());
    QVERIFY2(first > 0 && last < band.width() - 1,
             qPrintable(QStringLiteral("%1..%2").arg(first).arg(last)));
    QVERIFY2(std::abs(first - (band.width() - 1 - last)) <= 8,
             qPrintable(QStringLiteral("%1..%2").arg(first).arg(last)));
    // The short line is still as big as the band's font makes it.
    const auto [shortFirst, shortLast] = inkColumns(band.lineHeight(), image.height());
    QVERIFY(shortLast - shortFirst + 1 >= nimbrel::roundHalfEvenToInt(fitting.width) - 8);
}

QTEST_MAIN(TestDrawingBand)
#include "tst_drawingband.moc"
