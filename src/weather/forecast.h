#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace nimbrel {

// The day's extremes at the place, in kelvin.
struct DayRange {
    double low = 0;
    double high = 0;
};

// base + "/data/2.5/forecast?q=" + location + "&APPID=" + key: the 5-day / 3-hour forecast for
// the place and key of the current-weather request, encoded the same way.
QString forecastRequestUrl(const QString& base, const QString& location, const QString& apiKey);

// The lowest and highest of the current temperature and the forecast's temperatures from now
// to the end of the place's local day (its offset is the forecast's city.timezone); from 21:00
// there on, to the end of the next day. None when the forecast cannot be read or holds no
// point in that span, or when the current temperature is no reading itself.
std::optional<DayRange> todayRange(const QString& forecastReply, double currentKelvin,
                                   const QDateTime& now);

} // namespace nimbrel
