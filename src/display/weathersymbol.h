#pragma once

#include <QColor>
#include <QRectF>
#include <QString>

class QPainter;

namespace nimbrel {

// What the sky is doing, as the display draws it. Day and night differ only where the sun or the
// moon would show; None is what a code the service never sends gives, and paints nothing.
enum class WeatherSymbol {
    None,
    ClearDay,
    ClearNight,
    FewCloudsDay,
    FewCloudsNight,
    Clouds,
    Rain,
    Showers,
    Thunder,
    Snow,
    Mist
};

// From the weather service's icon code: two digits for the weather, then d or n for day or night
// ("01d", "10n").
WeatherSymbol symbolForIcon(const QString& iconCode);

// Paints the symbol as large as fits in box, square and centred, in colour. Where one shape
// stands in front of another (a cloud before the sun, a bolt before its cloud) the gap that keeps
// them apart is painted in background, so the two still read as two shapes in one colour.
// Nothing lands outside box.
void paintWeatherSymbol(QPainter& painter, const QRectF& box, WeatherSymbol symbol,
                        const QColor& colour, const QColor& background);

} // namespace nimbrel
