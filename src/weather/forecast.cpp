#include "forecast.h"

#include "kelvin.h"
#include "weatherrequest.h"

#include <QHash>

#include <algorithm>

namespace nimbrel {

namespace {

constexpr qint64 kSecondsPerDay = qint64(24) * 3600;

qint64 floorDiv(qint64 value, qint64 divisor) {
    const qint64 quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

// The end of the place's day in Unix seconds: its next local midnight.
qint64 spanEnd(qint64 now, qint64 offset) {
    const qint64 local = now + offset;
    return floorDiv(local, kSecondsPerDay) * kSecondsPerDay + kSecondsPerDay - offset;
}

} // namespace

QString forecastRequestUrl(const QString& base, const QString& location, const QString& apiKey) {
    QString trimmed = base;
    while (trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    return trimmed + QLatin1String("/data/2.5/forecast?q=") + encodeQueryValue(location) +
           QLatin1String("&APPID=") + encodeQueryValue(apiKey);
}

std::optional<DayRange> todayRange(const Forecast& forecast, double currentKelvin,
                                   const QDateTime& now) {
    if (!isReadingKelvin(currentKelvin) || !now.isValid() || !forecast.utcOffset)
        return std::nullopt;
    const qint64 start = now.toSecsSinceEpoch();
    const qint64 end = spanEnd(start, *forecast.utcOffset);

    DayRange range{currentKelvin, currentKelvin};
    bool found = false;
    for (const ForecastPoint& point : forecast.points) {
        if (point.time < start || point.time >= end || !point.temperature)
            continue;
        range.low = std::min(range.low, *point.temperature);
        range.high = std::max(range.high, *point.temperature);
        found = true;
    }
    if (!found)
        return std::nullopt;
    return range;
}

std::optional<DayRange> todayRange(const QString& forecastReply, double currentKelvin,
                                   const QDateTime& now) {
    const std::optional<Forecast> forecast = readForecastReply(forecastReply);
    if (!forecast)
        return std::nullopt;
    return todayRange(*forecast, currentKelvin, now);
}

void TemperaturesToday::note(double kelvin, qint64 when, int offset) {
    if (!isReadingKelvin(kelvin))
        return;
    const qint64 day = floorDiv(when + offset, kSecondsPerDay);
    if (m_day != day || m_offset != offset) {
        m_day = day;
        m_offset = offset;
        m_range = DayRange{kelvin, kelvin};
        return;
    }
    m_range.low = std::min(m_range.low, kelvin);
    m_range.high = std::max(m_range.high, kelvin);
}

std::optional<DayRange> TemperaturesToday::range(qint64 now) const {
    if (!m_day || floorDiv(now + m_offset, kSecondsPerDay) != *m_day)
        return std::nullopt;
    return m_range;
}

QList<ForecastDay> forecastDays(const Forecast& forecast, qint64 now) {
    QList<ForecastDay> days;
    if (!forecast.utcOffset)
        return days;
    const qint64 offset = *forecast.utcOffset;
    const qint64 today = floorDiv(now + offset, kSecondsPerDay);
    // Icons counted per day; daylight ones ("d") win, night ones count only for a day that has
    // no daylight point in the forecast.
    QList<QHash<QString, int>> dayIcons;
    QList<QHash<QString, int>> nightIcons;
    std::optional<qint64> current;
    for (const ForecastPoint& point : forecast.points) {
        const qint64 day = floorDiv(point.time + offset, kSecondsPerDay);
        if (day < today || !point.temperature)
            continue;
        if (day != current) {
            current = day;
            ForecastDay entry;
            entry.date = QDate(1970, 1, 1).addDays(day);
            entry.low = entry.high = *point.temperature;
            days.append(entry);
            dayIcons.append(QHash<QString, int>());
            nightIcons.append(QHash<QString, int>());
        }
        ForecastDay& entry = days.last();
        entry.low = std::min(entry.low, *point.temperature);
        entry.high = std::max(entry.high, *point.temperature);
        if (point.precipitationChance)
            entry.precipitationChance =
                std::max(entry.precipitationChance.value_or(0.0), *point.precipitationChance);
        if (!point.iconCode.isEmpty())
            ++(point.iconCode.endsWith(QLatin1Char('n')) ? nightIcons : dayIcons)
                  .last()[point.iconCode];
    }
    for (qsizetype i = 0; i < days.size(); ++i) {
        const QHash<QString, int>& icons = dayIcons[i].isEmpty() ? nightIcons[i] : dayIcons[i];
        int best = 0;
        for (auto it = icons.constBegin(); it != icons.constEnd(); ++it) {
            // Ties go to the smaller code, so the choice never depends on the hash's order.
            if (it.value() > best || (it.value() == best && it.key() < days[i].iconCode)) {
                best = it.value();
                days[i].iconCode = it.key();
            }
        }
    }
    return days;
}

QList<ForecastPoint> forecastHours(const Forecast& forecast, qint64 now) {
    QList<ForecastPoint> points;
    for (const ForecastPoint& point : forecast.points) {
        if (point.time >= now && point.temperature)
            points.append(point);
    }
    return points;
}

} // namespace nimbrel
