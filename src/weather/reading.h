#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

namespace nimbrel {

// What the service reported for the place at one moment. Temperatures are in kelvin as the
// service sends them, speeds in metres per second; times are Unix seconds. A value the reply
// lacks, or gives in a form that cannot be a reading, is empty.
struct Reading {
    QString place;
    std::optional<double> temperature;
    std::optional<double> feelsLike;
    std::optional<double> minimum;
    std::optional<double> maximum;
    std::optional<int> humidity; // per cent
    std::optional<double> windSpeed;
    std::optional<double> windDirection; // degrees, the direction the wind comes from
    QString description;
    QString iconCode; // the service's "01d", "10n" …
    std::optional<qint64> sunrise;
    std::optional<qint64> sunset;
    std::optional<qint64> observedAt;
    std::optional<int> utcOffset; // seconds east of UTC at the place
};

// What a current-weather reply amounts to.
enum class ReplyVerdict {
    Reading,      // it holds a current temperature
    RefusedKey,   // the service refused the key ("Invalid API key")
    UnknownPlace, // the service does not know the place ("city not found")
    NoReading,    // a reply with nothing to show: an error page, an empty body
};

// One current-weather reply, read once. Which temperatures were present but not numbers is kept
// apart from the reading, so that whoever shows the reading can say so.
struct CurrentReply {
    ReplyVerdict verdict = ReplyVerdict::NoReading;
    Reading reading;
    // The service's own words from "Invalid API key" on, for a refused key.
    QString refusal;
    // The service's own explanation in an error reply ({"cod":429,"message":"..."}), if any.
    QString message;
    bool temperatureUnreadable = false;
    bool minimumUnreadable = false;
    bool maximumUnreadable = false;
};

CurrentReply readCurrentReply(const QString& body);

// One point of the 5-day / 3-hour forecast.
struct ForecastPoint {
    qint64 time = 0;
    std::optional<double> temperature;
    QString iconCode;
    std::optional<double> precipitationChance; // 0 to 1
};

struct Forecast {
    // Without the place's offset there is no telling which points are its today.
    std::optional<int> utcOffset;
    // In the order of time; points without a time are left out.
    QList<ForecastPoint> points;
};

// Empty when the reply is not a forecast at all.
std::optional<Forecast> readForecastReply(const QString& body);

} // namespace nimbrel
