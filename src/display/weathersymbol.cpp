#include "weathersymbol.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <numbers>

namespace nimbrel {

WeatherSymbol symbolForIcon(const QString& iconCode) {
    const QStringView code(iconCode);
    const bool day = code.endsWith(u'd');
    if (code.size() != 3 || !(day || code.endsWith(u'n')))
        return WeatherSymbol::None;
    const QStringView weather = code.first(2);
    if (weather == u"01")
        return day ? WeatherSymbol::ClearDay : WeatherSymbol::ClearNight;
    if (weather == u"02")
        return day ? WeatherSymbol::FewCloudsDay : WeatherSymbol::FewCloudsNight;
    if (weather == u"03" || weather == u"04")
        return WeatherSymbol::Clouds;
    if (weather == u"09")
        return WeatherSymbol::Showers;
    if (weather == u"10")
        return WeatherSymbol::Rain;
    if (weather == u"11")
        return WeatherSymbol::Thunder;
    if (weather == u"13")
        return WeatherSymbol::Snow;
    if (weather == u"50")
        return WeatherSymbol::Mist;
    return WeatherSymbol::None;
}

namespace {

// Everything is drawn on a square of side 1 scaled to the box, so line weights are a share of
// the symbol: as bold beside 300 px text as beside 30 px text, and never a hairline.
constexpr qreal stroke = 0.085;
// The band of background between a shape and the one behind it.
constexpr qreal gap = 0.05;

QPen line(const QColor& colour, qreal width = stroke) {
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// Qt's path operations turn curves into straight pieces of a fixed length in path units, which on
// the unit square would leave a moon of a dozen facets; so they work on a copy a thousand times
// larger.
constexpr qreal fine = 1000;

QPainterPath enlarged(const QPainterPath& path) {
    return QTransform::fromScale(fine, fine).map(path);
}

QPainterPath reduced(const QPainterPath& path) {
    return QTransform::fromScale(1 / fine, 1 / fine).map(path);
}

// A flat-bottomed cloud filling r: a pill for the base with a big and a small puff on top.
QPainterPath cloud(const QRectF& r) {
    const qreal h = r.height();
    QPainterPath shape;
    shape.setFillRule(Qt::WindingFill);
    shape.addRoundedRect(r.adjusted(0, h * 0.46, 0, 0), h * 0.27, h * 0.27);
    shape.addEllipse(QPointF(r.left() + r.width() * 0.6, r.top() + h * 0.44), h * 0.44, h * 0.44);
    shape.addEllipse(QPointF(r.left() + r.width() * 0.32, r.top() + h * 0.6), h * 0.3, h * 0.3);
    return reduced(enlarged(shape).simplified());
}

// Rays are counted clockwise from the one pointing right. A sun behind a cloud leaves out the
// rays the cloud would hide: cut short by it, they would read as stray dashes.
void paintSun(QPainter& painter, QPointF centre, qreal radius, const QColor& colour,
              int firstRay = 0, int lastRay = 7) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(centre, radius, radius);
    painter.setPen(line(colour));
    for (int ray = firstRay; ray <= lastRay; ++ray) {
        const qreal angle = ray * std::numbers::pi / 4;
        const QPointF along(std::cos(angle), std::sin(angle));
        painter.drawLine(centre + along * (radius + stroke), centre + along * (radius + 0.16));
    }
}

// Opening to the upper right, so that behind a cloud on the right the horns still show.
void paintMoon(QPainter& painter, QPointF centre, qreal radius, const QColor& colour) {
    QPainterPath disc;
    disc.addEllipse(centre, radius, radius);
    QPainterPath bite;
    bite.addEllipse(centre + QPointF(0.45, -0.35) * radius, radius * 0.8, radius * 0.8);
    painter.fillPath(reduced(enlarged(disc).subtracted(enlarged(bite))), colour);
}

// Paints shape over what is already there, with a rim of background so the two stay apart.
void paintInFront(QPainter& painter, const QPainterPath& shape, const QColor& colour,
                  const QColor& background) {
    painter.strokePath(shape, line(background, 2 * gap));
    painter.fillPath(shape, colour);
}

// Slanted streaks below a cloud, leaning as rain blown by the wind does.
void paintStreaks(QPainter& painter, qreal top, qreal bottom, std::initializer_list<qreal> xs,
                  const QColor& colour) {
    painter.setPen(line(colour));
    const qreal lean = (bottom - top) * 0.35;
    for (const qreal x : xs)
        painter.drawLine(QPointF(x + lean / 2, top), QPointF(x - lean / 2, bottom));
}

// Six arms, pointing up and down, so a flake never reads as a plus sign or a raindrop.
void paintFlake(QPainter& painter, QPointF centre, qreal radius, const QColor& colour) {
    painter.setPen(line(colour, stroke * 0.8));
    for (int arm = 0; arm < 3; ++arm) {
        const qreal angle = std::numbers::pi / 2 + arm * std::numbers::pi / 3;
        const QPointF along = QPointF(std::cos(angle), std::sin(angle)) * radius;
        painter.drawLine(centre - along, centre + along);
    }
}

// Its top sits inside the cloud, so the bolt comes out of it rather than hanging below.
QPainterPath bolt() {
    QPainterPath shape;
    shape.moveTo(0.5, 0.42);
    shape.lineTo(0.66, 0.42);
    shape.lineTo(0.57, 0.62);
    shape.lineTo(0.69, 0.62);
    shape.lineTo(0.41, 0.94);
    shape.lineTo(0.48, 0.7);
    shape.lineTo(0.36, 0.7);
    shape.closeSubpath();
    return shape;
}

void paintUnit(QPainter& painter, WeatherSymbol symbol, const QColor& colour,
               const QColor& background) {
    const QRectF skyCloud(0.08, 0.06, 0.84, 0.5);
    switch (symbol) {
    case WeatherSymbol::None:
        return;
    case WeatherSymbol::ClearDay:
        return paintSun(painter, {0.5, 0.5}, 0.2, colour);
    case WeatherSymbol::ClearNight:
        return paintMoon(painter, {0.5, 0.5}, 0.4, colour);
    case WeatherSymbol::FewCloudsDay:
        paintSun(painter, {0.35, 0.35}, 0.14, colour, 3, 8);
        return paintInFront(painter, cloud({0.2, 0.46, 0.74, 0.42}), colour, background);
    case WeatherSymbol::FewCloudsNight:
        paintMoon(painter, {0.35, 0.36}, 0.27, colour);
        return paintInFront(painter, cloud({0.2, 0.46, 0.74, 0.42}), colour, background);
    case WeatherSymbol::Clouds:
        return painter.fillPath(cloud({0.06, 0.24, 0.88, 0.52}), colour);
    case WeatherSymbol::Rain:
        painter.fillPath(cloud(skyCloud), colour);
        return paintStreaks(painter, 0.66, 0.92, {0.3, 0.5, 0.7}, colour);
    case WeatherSymbol::Showers:
        paintSun(painter, {0.66, 0.33}, 0.12, colour, -3, 1);
        paintInFront(painter, cloud({0.06, 0.36, 0.72, 0.34}), colour, background);
        return paintStreaks(painter, 0.78, 0.95, {0.28, 0.5}, colour);
    case WeatherSymbol::Thunder:
        painter.fillPath(cloud(skyCloud), colour);
        return paintInFront(painter, bolt(), colour, background);
    case WeatherSymbol::Snow:
        painter.fillPath(cloud(skyCloud), colour);
        paintFlake(painter, {0.27, 0.7}, 0.085, colour);
        paintFlake(painter, {0.73, 0.7}, 0.085, colour);
        return paintFlake(painter, {0.5, 0.85}, 0.085, colour);
    case WeatherSymbol::Mist:
        painter.setPen(line(colour, stroke * 1.2));
        painter.drawLine(QPointF(0.12, 0.3), QPointF(0.76, 0.3));
        painter.drawLine(QPointF(0.24, 0.5), QPointF(0.88, 0.5));
        painter.drawLine(QPointF(0.12, 0.7), QPointF(0.76, 0.7));
        return;
    }
}

} // namespace

void paintWeatherSymbol(QPainter& painter, const QRectF& box, WeatherSymbol symbol,
                        const QColor& colour, const QColor& background) {
    const qreal side = std::min(box.width(), box.height());
    if (symbol == WeatherSymbol::None || !(side > 0))
        return;
    painter.save();
    // The text stands right beside the box: whatever the painter was set up with, nothing of the
    // symbol may land on it.
    painter.setClipRect(box, Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(box.center() - QPointF(side, side) / 2);
    painter.scale(side, side);
    paintUnit(painter, symbol, colour, background);
    painter.restore();
}

} // namespace nimbrel
