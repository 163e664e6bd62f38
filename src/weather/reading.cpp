#include "reading.h"

#include "kelvin.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <cmath>

namespace nimbrel {

namespace {

const QLatin1String invalidKeyMarker("Invalid API key");
const QLatin1String cityNotFoundMarker("city not found");

// Far beyond any real observation and well inside what QDateTime takes, so a silly value reads
// as no time at all rather than as a date nobody can show.
constexpr double kLatestSeconds = 1e11;
// Offsets from UTC in use reach from -12 to +14 hours; anything far beyond is a damaged reply.
constexpr double kLargestOffset = 18.0 * 3600;
// Faster than any wind measured at the ground, in metres per second.
constexpr double kFastestWind = 150.0;

std::optional<QJsonObject> jsonObject(const QString& text) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

// The service writes its status "cod" as a number in some replies and as text in others.
int statusCode(const QJsonObject& root) {
    const QJsonValue cod = root.value(QLatin1String("cod"));
    if (cod.isString())
        return cod.toString().trimmed().toInt();
    return cod.toInt();
}

// The service's explanation in a reply whose status is `code`; empty in any other reply, so
// the same words in a place name or a description never count.
QString serviceMessage(const QJsonObject& root, int code) {
    if (statusCode(root) != code)
        return {};
    return root.value(QLatin1String("message")).toString();
}

// A reply that is not JSON (a page from something in between) is searched as a whole, and the
// words there end at the first closing pair `"}`.
std::optional<QString> refusal(const QString& text, const std::optional<QJsonObject>& root) {
    const QString searched = root ? serviceMessage(*root, 401) : text;
    const qsizetype found = searched.indexOf(invalidKeyMarker, 0, Qt::CaseInsensitive);
    if (found < 0)
        return std::nullopt;
    const qsizetype end = root ? -1 : searched.indexOf(QLatin1String("\"}"), found);
    return searched.sliced(found, (end < 0 ? searched.size() : end) - found);
}

bool placeUnknown(const QString& text, const std::optional<QJsonObject>& root) {
    const QString searched = root ? serviceMessage(*root, 404) : text;
    return searched.contains(cityNotFoundMarker, Qt::CaseInsensitive);
}

std::optional<double> finiteNumber(const QJsonValue& value, double lowest, double highest) {
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    // Written so that NaN is refused as well.
    if (!(number >= lowest && number <= highest))
        return std::nullopt;
    return number;
}

std::optional<qint64> unixTime(const QJsonValue& value) {
    const std::optional<double> seconds = finiteNumber(value, 0, kLatestSeconds);
    if (!seconds)
        return std::nullopt;
    return qint64(*seconds);
}

std::optional<int> utcOffset(const QJsonValue& value) {
    const std::optional<double> seconds = finiteNumber(value, -kLargestOffset, kLargestOffset);
    if (!seconds)
        return std::nullopt;
    return int(*seconds);
}

// A temperature member: none when it is missing or no reading. `unreadable` is set when the
// member is there but is not a number at all.
std::optional<double> temperature(const QJsonObject& main, QLatin1String name, bool* unreadable) {
    const QJsonValue value = main.value(name);
    if (value.isUndefined())
        return std::nullopt;
    if (!value.isDouble()) {
        if (unreadable)
            *unreadable = true;
        return std::nullopt;
    }
    const double kelvin = value.toDouble();
    if (!isReadingKelvin(kelvin))
        return std::nullopt;
    return kelvin;
}

// A name is one line of the wall: a line break inside it would push the weather off the screen.
QString oneLine(QString text) {
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    return text;
}

QJsonObject firstWeather(const QJsonObject& object) {
    return object.value(QLatin1String("weather")).toArray().at(0).toObject();
}

Reading readingOf(const QJsonObject& root, CurrentReply& reply) {
    Reading reading;
    const QJsonObject main = root.value(QLatin1String("main")).toObject();
    reading.place = oneLine(root.value(QLatin1String("name")).toString());
    reading.temperature = temperature(main, QLatin1String("temp"), &reply.temperatureUnreadable);
    reading.minimum = temperature(main, QLatin1String("temp_min"), &reply.minimumUnreadable);
    reading.maximum = temperature(main, QLatin1String("temp_max"), &reply.maximumUnreadable);
    reading.feelsLike = temperature(main, QLatin1String("feels_like"), nullptr);
    if (const auto humidity = finiteNumber(main.value(QLatin1String("humidity")), 0, 100))
        reading.humidity = int(std::lround(*humidity));
    const QJsonObject wind = root.value(QLatin1String("wind")).toObject();
    reading.windSpeed = finiteNumber(wind.value(QLatin1String("speed")), 0, kFastestWind);
    reading.windDirection = finiteNumber(wind.value(QLatin1String("deg")), 0, 360);
    const QJsonObject weather = firstWeather(root);
    reading.description = oneLine(weather.value(QLatin1String("description")).toString());
    reading.iconCode = weather.value(QLatin1String("icon")).toString();
    const QJsonObject sys = root.value(QLatin1String("sys")).toObject();
    reading.sunrise = unixTime(sys.value(QLatin1String("sunrise")));
    reading.sunset = unixTime(sys.value(QLatin1String("sunset")));
    reading.observedAt = unixTime(root.value(QLatin1String("dt")));
    reading.utcOffset = utcOffset(root.value(QLatin1String("timezone")));
    return reading;
}

} // namespace

CurrentReply readCurrentReply(const QString& body) {
    CurrentReply reply;
    const std::optional<QJsonObject> root = jsonObject(body);
    if (root)
        reply.message = root->value(QLatin1String("message")).toString().trimmed();
    if (const std::optional<QString> refused = refusal(body, root)) {
        reply.verdict = ReplyVerdict::RefusedKey;
        reply.refusal = *refused;
        return reply;
    }
    if (placeUnknown(body, root)) {
        reply.verdict = ReplyVerdict::UnknownPlace;
        return reply;
    }
    if (!root)
        return reply;
    reply.reading = readingOf(*root, reply);
    reply.verdict = reply.reading.temperature ? ReplyVerdict::Reading : ReplyVerdict::NoReading;
    return reply;
}

std::optional<Forecast> readForecastReply(const QString& body) {
    const std::optional<QJsonObject> root = jsonObject(body);
    if (!root)
        return std::nullopt;
    Forecast forecast;
    forecast.utcOffset =
        utcOffset(root->value(QLatin1String("city")).toObject().value(QLatin1String("timezone")));
    const QJsonArray points = root->value(QLatin1String("list")).toArray();
    for (const auto& value : points) {
        const QJsonObject object = value.toObject();
        const std::optional<qint64> time = unixTime(object.value(QLatin1String("dt")));
        if (!time)
            continue;
        ForecastPoint point;
        point.time = *time;
        point.temperature = temperature(object.value(QLatin1String("main")).toObject(),
                                        QLatin1String("temp"), nullptr);
        point.iconCode = firstWeather(object).value(QLatin1String("icon")).toString();
        point.precipitationChance = finiteNumber(object.value(QLatin1String("pop")), 0, 1);
        forecast.points.append(point);
    }
    // The service sends them in order; a reply that does not must not split a day in two.
    std::stable_sort(
        forecast.points.begin(), forecast.points.end(),
        [](const ForecastPoint& a, const ForecastPoint& b) { return a.time < b.time; });
    return forecast;
}

} // namespace nimbrel
