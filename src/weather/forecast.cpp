#include "forecast.h"

#include "kelvin.h"
#include "weatherrequest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <cmath>

namespace nimbrel {

namespace {

constexpr qint64 kSecondsPerDay = qint64(24) * 3600;
// Past this hour the evening is nearly over, and "today" would say nothing about the night and
// the day ahead; the span then runs to the end of tomorrow.
constexpr qint64 kLateEvening = qint64(21) * 3600;
// Offsets from UTC in use reach from -12 to +14 hours; anything far beyond is a damaged reply.
constexpr double kLargestOffset = 18.0 * 3600;

qint64 floorDiv(qint64 value, qint64 divisor) {
    const qint64 quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

// The end of the span in Unix seconds: the place's next local midnight, or the one after it
// late in the evening.
qint64 spanEnd(qint64 now, qint64 offset) {
    const qint64 local = now + offset;
    const qint64 midnight = floorDiv(local, kSecondsPerDay) * kSecondsPerDay;
    const qint64 days = local - midnight >= kLateEvening ? 2 : 1;
    return midnight + days * kSecondsPerDay - offset;
}

} // namespace

QString forecastRequestUrl(const QString& base, const QString& location, const QString& apiKey) {
    QString trimmed = base;
    while (trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    return trimmed + QLatin1String("/data/2.5/forecast?q=") + encodeQueryValue(location) +
           QLatin1String("&APPID=") + encodeQueryValue(apiKey);
}

std::optional<DayRange> todayRange(const QString& forecastReply, double currentKelvin,
                                   const QDateTime& now) {
    if (!isReadingKelvin(currentKelvin) || !now.isValid())
        return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(forecastReply.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject root = document.object();

    // Without the place's offset there is no telling which points are its today.
    const QJsonValue zone =
        root.value(QLatin1String("city")).toObject().value(QLatin1String("timezone"));
    if (!zone.isDouble() || !(std::abs(zone.toDouble()) <= kLargestOffset))
        return std::nullopt;
    const auto offset = static_cast<qint64>(zone.toDouble());
    const qint64 start = now.toSecsSinceEpoch();
    const qint64 end = spanEnd(start, offset);

    DayRange range{currentKelvin, currentKelvin};
    bool found = false;
    const QJsonArray points = root.value(QLatin1String("list")).toArray();
    for (const auto& point : points) {
        const QJsonObject object = point.toObject();
        const QJsonValue time = object.value(QLatin1String("dt"));
        const QJsonValue temp =
            object.value(QLatin1String("main")).toObject().value(QLatin1String("temp"));
        if (!time.isDouble() || !temp.isDouble())
            continue;
        const double when = time.toDouble();
        const double kelvin = temp.toDouble();
        if (std::isnan(when) || when < double(start) || when >= double(end) ||
            !isReadingKelvin(kelvin))
            continue;
        range.low = std::min(range.low, kelvin);
        range.high = std::max(range.high, kelvin);
        found = true;
    }
    if (!found)
        return std::nullopt;
    return range;
}

} // namespace nimbrel
