#pragma once

#include "reading.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <algorithm>
#include <optional>

namespace nimbrel {

// The day's extremes at the place, in kelvin.
struct DayRange {
    double low = 0;
    double high = 0;
    void widen(double kelvin) {
        low = std::min(low, kelvin);
        high = std::max(high, kelvin);
    }
};

// base + "/data/2.5/forecast?q=" + location + "&APPID=" + key: the 5-day / 3-hour forecast for
// the place and key of the current-weather request, encoded the same way.
QString forecastRequestUrl(const QString& base, const QString& location, const QString& apiKey);

// The lowest and highest of the current temperature and the forecast's temperatures from now
// to the end of the place's local day (its offset is the forecast's city.timezone), late in the
// evening too: tomorrow is the forecast strip's to show. None when the forecast cannot be read
// or holds no point in that span, or when the current temperature is no reading itself.
std::optional<DayRange> todayRange(const Forecast& forecast, double currentKelvin,
                                   const QDateTime& now);

// The current temperatures the display has read since the place's last midnight. Kept in memory
// only: a display started afresh knows the day from the forecast alone.
class TemperaturesToday {
public:
    // A temperature read at `when` (Unix seconds) at a place `offset` seconds east of UTC. One
    // from another day than the ones noted so far starts the day afresh.
    void note(double kelvin, qint64 when, int offset);
    // Their low and high, while `now` is still the place's day they were read on.
    std::optional<DayRange> range(qint64 now) const;

private:
    std::optional<qint64> m_day;
    int m_offset = 0;
    DayRange m_range;
};

// One local day of the place in the forecast.
struct ForecastDay {
    QDate date;
    double low = 0;
    double high = 0;
    QString iconCode;                          // the day's most common icon in daylight hours
    std::optional<double> precipitationChance; // the day's highest
};

// The place's days from its today on, as the forecast's points fall into them (by the forecast's
// own offset); none without that offset. Days without a temperature are left out.
QList<ForecastDay> forecastDays(const Forecast& forecast, qint64 now);
// The points from now on.
QList<ForecastPoint> forecastHours(const Forecast& forecast, qint64 now);

} // namespace nimbrel
