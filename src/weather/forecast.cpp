#include "forecast.h"

#include "kelvin.h"
#include "weatherrequest.h"

#include <QHash>

#include <algorithm>

namespace nimbrel {

namespace {

constexpr qint64 kSecondsPerDay = qint64(24) * 3600;

// The place's local day of a time (Unix seconds), counted in days from 1970-01-01.
qint64 localDay(qint64 time, qint64 offset) {
    const qint64 local = time + offset;
    const qint64 quotient = local / kSecondsPerDay;
    return (local % kSecondsPerDay != 0 && local < 0) ? quotient - 1 : quotient;
}

// The end of the place's day in Unix seconds: its next local midnight.
qint64 spanEnd(qint64 now, qint64 offset) {
    return (localDay(now, offset) + 1) * kSecondsPerDay - offset;
}

// Icons counted for one day; daylight ones ("d") win, night ones count only for a day that has
// no daylight point in the forecast.
struct IconTally {
    QHash<QString, int> day;
    QHash<QString, int> night;

    void count(const QString& iconCode) {
        if (!iconCode.isEmpty())
            ++(iconCode.endsWith(QLatin1Char('n')) ? night : day)[iconCode];
    }
    // Ties go to the smaller code, so the choice never depends on the hash's order.
    QString commonest() const {
        const QHash<QString, int>& icons = day.isEmpty() ? night : day;
        QString best;
        int most = 0;
        for (auto it = icons.constBegin(); it != icons.constEnd(); ++it) {
            if (it.value() > most || (it.value() == most && it.key() < best)) {
                most = it.value();
                best = it.key();
            }
        }
        return best;
    }
};

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
        range.widen(*point.temperature);
        found = true;
    }
    if (!found)
        return std::nullopt;
    return range;
}

void TemperaturesToday::note(double kelvin, qint64 when, int offset) {
    if (!isReadingKelvin(kelvin))
        return;
    const qint64 day = localDay(when, offset);
    if (m_day != day || m_offset != offset) {
        m_day = day;
        m_offset = offset;
        m_range = DayRange{kelvin, kelvin};
        return;
    }
    m_range.widen(kelvin);
}

std::optional<DayRange> TemperaturesToday::range(qint64 now) const {
    if (!m_day || localDay(now, m_offset) != *m_day)
        return std::nullopt;
    return m_range;
}

QList<ForecastDay> forecastDays(const Forecast& forecast, qint64 now) {
    QList<ForecastDay> days;
    if (!forecast.utcOffset)
        return days;
    const qint64 offset = *forecast.utcOffset;
    const qint64 today = localDay(now, offset);
    QList<IconTally> icons;
    for (const ForecastPoint& point : forecast.points) {
        const qint64 day = localDay(point.time, offset);
        if (day < today || !point.temperature)
            continue;
        const QDate date = QDate(1970, 1, 1).addDays(day);
        if (days.isEmpty() || days.last().date != date) {
            days.append(ForecastDay{date, *point.temperature, *point.temperature, {}, {}});
            icons.append(IconTally{});
        }
        ForecastDay& entry = days.last();
        entry.low = std::min(entry.low, *point.temperature);
        entry.high = std::max(entry.high, *point.temperature);
        if (point.precipitationChance)
            entry.precipitationChance =
                std::max(entry.precipitationChance.value_or(0.0), *point.precipitationChance);
        icons.last().count(point.iconCode);
    }
    for (qsizetype i = 0; i < days.size(); ++i)
        days[i].iconCode = icons[i].commonest();
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
