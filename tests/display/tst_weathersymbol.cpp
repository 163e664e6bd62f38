#include "weathersymbol.h"

#include <QImage>
#include <QPainter>
#include <QTest>

using namespace nimbrel;
using enum WeatherSymbol;

namespace {
// Three primaries: whatever antialiasing mixes of them has channels that add up to 255.
const QColor surround(0, 255, 0), ink(255, 0, 0), paper(0, 0, 255);

// Whatever is painted next finds the painter as it was; a null image fails every check.
QImage painted(WeatherSymbol symbol, const QSize& size, const QRectF& box = {}) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(surround);
    QPainter painter(&image);
    paintWeatherSymbol(painter, box.isNull() ? QRectF(image.rect()) : box, symbol, ink, paper);
    return painter.transform().isIdentity() && !painter.hasClipping() ? image : QImage();
}

template <typename Test> int pixels(const QImage& image, Test test) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += test(x, y, image.pixelColor(x, y));
    return count;
}

int differing(const QImage& a, const QImage& b) {
    return pixels(a, [&](int x, int y, const QColor& c) {
        return qAbs(c.red() - b.pixelColor(x, y).red()) > 64;
    });
}
} // namespace

class TestWeatherSymbol : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void iconCodes() {
        const QList<std::pair<const char*, WeatherSymbol>> codes = {
            {"01d", ClearDay}, {"01n", ClearNight}, {"02d", FewCloudsDay}, {"02n", FewCloudsNight},
            {"03d", Clouds},   {"04n", Clouds},     {"09n", Showers},      {"10d", Rain},
            {"11n", Thunder},  {"13d", Snow},       {"50n", Mist},         {"", None},
            {"05d", None},     {"01x", None},       {"010d", None},        {"1d", None}};
        for (const auto& [code, symbol] : codes)
            QVERIFY2(symbolForIcon(QString::fromLatin1(code)) == symbol, code);
    }

    void paintsEachInItsSquareAndColoursAtAnySize() {
        // A wide box off the pixel grid: the drawing is the square of its height in the middle.
        const QRectF box(30.5, 20.25, 100, 70), square(45.5, 20.25, 70, 70);
        const auto stray = [&](int x, int y, const QColor& c) {
            return (!square.intersects(QRectF(x, y, 1, 1)) && c != surround) ||
                   qAbs(c.red() + c.green() + c.blue() - 255) > 3;
        };
        QList<QImage> small;
        for (const WeatherSymbol symbol : {ClearDay, ClearNight, FewCloudsDay, FewCloudsNight,
                                           Clouds, Rain, Showers, Thunder, Snow, Mist}) {
            const QByteArray name = QByteArray::number(int(symbol));
            const QImage image = painted(symbol, {160, 120}, box);
            QVERIFY2(!image.isNull() && pixels(image, stray) == 0, name);
            QVERIFY2(differing(image, painted(None, {160, 120})) > 70 * 70 / 20, name);
            // Line weights are shares of the box: shrunk, the large drawing is the small one.
            small.append(painted(symbol, {60, 60}));
            const QImage shrunk =
                painted(symbol, {600, 600}).scaledToWidth(60, Qt::SmoothTransformation);
            QVERIFY2(differing(shrunk, small.last()) < 60 * 60 / 100, name);
            for (qsizetype i = 0; i + 1 < small.size(); ++i)
                QVERIFY2(differing(small[i], small.last()) > 60 * 60 / 50, name);
        }
    }
};

QTEST_MAIN(TestWeatherSymbol)
#include "tst_weathersymbol.moc"
