#include "weathertext.h"

#include "apperror.h"
#include "forecast.h"
#include "guard.h"
#include "kelvin.h"
#include "observationtime.h"
#include "rounding.h"
#include "transfer.h"
#include "weatherrequest.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>
#include <QPointer>
#include <QStringList>
#include <optional>

namespace nimbrel {

namespace {

const QLatin1String invalidKeyMarker("Invalid API key");
const QLatin1String cityNotFoundMarker("city not found");

// A reply as it came, and its top-level object when it is one in JSON.
struct Reply {
    QString text;
    std::optional<QJsonObject> root;
};

Reply parseReply(const QString& text) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return {text, std::nullopt};
    return {text, document.object()};
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
QString serviceMessage(const Reply& reply, int code) {
    if (!reply.root || statusCode(*reply.root) != code)
        return {};
    return reply.root->value(QLatin1String("message")).toString();
}

// The text shown for a refused key: the service's own words from "Invalid API key" on. A reply
// that is not JSON (a page from something in between) is searched as a whole, and the words
// there end at the first closing pair `"}`.
std::optional<QString> refusal(const Reply& reply) {
    const QString text = reply.root ? serviceMessage(reply, 401) : reply.text;
    const qsizetype found = text.indexOf(invalidKeyMarker, 0, Qt::CaseInsensitive);
    if (found < 0)
        return std::nullopt;
    const qsizetype end = reply.root ? -1 : text.indexOf(QLatin1String("\"}"), found);
    return text.sliced(found, (end < 0 ? text.size() : end) - found);
}

bool placeUnknown(const Reply& reply) {
    const QString text = reply.root ? serviceMessage(reply, 404) : reply.text;
    return text.contains(cityNotFoundMarker, Qt::CaseInsensitive);
}

// One of main.temp, main.temp_min, main.temp_max. None when it is missing or no reading; a
// member there that is not a number fails the step.
std::optional<double> mainTemperature(const Reply& reply, QLatin1String name) {
    if (!reply.root)
        return std::nullopt;
    const QJsonValue value = reply.root->value(QLatin1String("main")).toObject().value(name);
    if (value.isUndefined())
        return std::nullopt;
    if (!value.isDouble())
        throw AppError::typeMismatch();
    const double kelvin = value.toDouble();
    if (!isReadingKelvin(kelvin))
        return std::nullopt;
    return kelvin;
}

std::optional<double> currentReading(const Reply& reply) {
    try {
        return mainTemperature(reply, QLatin1String("temp"));
    } catch (const AppError&) {
        return std::nullopt;
    }
}

// A number as the reply writes it, kept exact: units / 10^decimals.
struct Decimal {
    qint64 units = 0;
    int decimals = 0;
};

// The shortest decimal that reads back as the same double is what the reply wrote (up to 15
// significant digits), so 275.65 converts from 27565/100 and rounds as written, not as its
// binary neighbour. For a reading (150 to 350 K) it has at most 17 digits, 14 of them decimals.
Decimal exactDecimal(double kelvin) {
    const QString text = QString::number(kelvin, 'f', QLocale::FloatingPointShortest);
    Decimal result;
    bool fraction = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('.')) {
            fraction = true;
            continue;
        }
        result.units = result.units * 10 + (c.unicode() - '0');
        if (fraction)
            ++result.decimals;
    }
    return result;
}

qint64 powerOfTen(int exponent) {
    qint64 value = 1;
    for (int i = 0; i < exponent; ++i)
        value *= 10;
    return value;
}

enum class Unit { Fahrenheit, Celsius };

// C = K - 273.15 = (100 K - 27315) / 100;  F = C * 1.8 + 32 = (180 K - 45967) / 100.
// Worked on the exact reply value with a single rounding at the end. With at most 14 decimals
// and K at most 350, 180 * units stays below 6.3e18, inside 64 bits.
qint64 wholeDegrees(double kelvin, Unit unit) {
    const Decimal exact = exactDecimal(kelvin);
    const qint64 scale = powerOfTen(exact.decimals);
    const qint64 factor = unit == Unit::Fahrenheit ? 180 : 100;
    const qint64 offset = unit == Unit::Fahrenheit ? 45967 : 27315;
    return roundHalfEven(factor * exact.units - offset * scale, 100 * scale);
}

QString textMember(const Reply& reply, QLatin1String name) {
    return reply.root ? reply.root->value(name).toString() : QString();
}

QString firstDescription(const Reply& reply) {
    if (!reply.root)
        return {};
    return reply.root->value(QLatin1String("weather"))
        .toArray()
        .at(0)
        .toObject()
        .value(QLatin1String("description"))
        .toString();
}

// The word breaks of the classic proper-case conversion.
bool isWordBreak(char32_t c) {
    return c == 0 || c == ' ' || (c >= '\t' && c <= '\r');
}

QString properCase(const QString& text) {
    QList<uint> codePoints = text.toUcs4();
    bool wordStart = true;
    for (uint& c : codePoints) {
        c = wordStart ? QChar::toTitleCase(char32_t(c)) : QChar::toLower(char32_t(c));
        wordStart = isWordBreak(c);
    }
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(codePoints.constData()),
                             codePoints.size());
}

QString temperatureLine(QLatin1String label, const std::optional<double>& kelvin, Unit unit) {
    const QString number =
        kelvin ? QString::number(wholeDegrees(*kelvin, unit)) : QStringLiteral("--");
    const QLatin1Char letter(unit == Unit::Fahrenheit ? 'F' : 'C');
    return label + number + QLatin1Char(' ') + QChar(0x00B0) + letter;
}

std::optional<Unit> unitOf(const QString& tempType) {
    if (tempType == QLatin1String("Fahrenheit"))
        return Unit::Fahrenheit;
    if (tempType == QLatin1String("Celsius"))
        return Unit::Celsius;
    return std::nullopt;
}

FetchOutcome judgeReply(const Reply& reply) {
    if (refusal(reply) || placeUnknown(reply))
        return FetchOutcome::Answer;
    return currentReading(reply) ? FetchOutcome::Reading : FetchOutcome::NoReading;
}

// The forecast improves on temp_min and temp_max but is never a new way to fail: whatever goes
// wrong here (no answer, an error reply, a body over the cap) leaves the two lines to the
// current reply, and nobody is told.
std::optional<DayRange> fetchDayRange(const QPointer<Transfer>& inet, const WeatherQuery& query,
                                      const QString& key, double current) {
    if (!inet || inet->isExecuting())
        return std::nullopt;
    try {
        const Transfer::Answer answer =
            inet->fetch(forecastRequestUrl(query.baseUrl, query.location, key));
        if (answer.status != 200)
            return std::nullopt;
        const QDateTime now = query.now ? query.now() : QDateTime::currentDateTimeUtc();
        return todayRange(answer.body, current, now);
    } catch (...) {
        return std::nullopt;
    }
}

QString textFromReply(Guard& guard, const Reply& reply, const QString& apiKey,
                      const QString& tempType, const DetailChoices& details,
                      const std::optional<DayRange>& today) {
    std::optional<QString> message;
    guard(110, [&] {
        message = refusal(reply);
        if (!message && apiKey.isEmpty())
            message = QStringLiteral("Please enter valid API key.");
    });
    if (message)
        return *message;
    guard(112, [&] {
        if (placeUnknown(reply))
            message = QStringLiteral("Please enter valid location. Please go to the "
                                     "https://openweathermap.org/city to learn how city should "
                                     "be written.");
    });
    if (message)
        return *message;

    std::optional<double> current;
    std::optional<double> minimum;
    std::optional<double> maximum;
    guard(114, [&] { current = mainTemperature(reply, QLatin1String("temp")); });
    guard(116, [&] { minimum = mainTemperature(reply, QLatin1String("temp_min")); });
    guard(118, [&] { maximum = mainTemperature(reply, QLatin1String("temp_max")); });
    if (today) {
        minimum = today->low;
        maximum = today->high;
    }

    QString locationLine;
    QString currentLine;
    QString summaryLine;
    QString lowLine;
    QString highLine;
    guard(120, [&] {
        if (details.location)
            locationLine = textMember(reply, QLatin1String("name"));
    });
    guard(122, [&] {
        if (details.summary)
            summaryLine = properCase(firstDescription(reply));
    });
    if (const std::optional<Unit> unit = unitOf(tempType)) {
        guard(124, [&] {
            if (details.current)
                currentLine =
                    temperatureLine(QLatin1String("Current Temperature: "), current, *unit);
        });
        guard(126, [&] {
            if (details.low)
                lowLine = temperatureLine(QLatin1String("Low: "), minimum, *unit);
        });
        guard(128, [&] {
            if (details.high)
                highLine = temperatureLine(QLatin1String("High: "), maximum, *unit);
        });
    }
    return QStringList{locationLine, currentLine, summaryLine, lowLine, highLine}.join(
        QLatin1String("\r\n"));
}

} // namespace

QString weatherTextFromReply(Guard& guard, const QString& reply, const QString& apiKey,
                             const QString& tempType, const DetailChoices& details) {
    return textFromReply(guard, parseReply(reply), apiKey, tempType, details, std::nullopt);
}

QString buildWeatherText(Guard& guard, Transfer& transfer, const WeatherQuery& query,
                         const std::function<QString()>& readKey, FetchOutcome* outcome,
                         ReplyFacts* facts) {
    // The transfer's owner may go away while events run below; then there is nothing to wait for.
    const QPointer<Transfer> inet(&transfer);
    QString text;
    QString requestKey;
    bool busy = true;
    guard(100, [&] { busy = !inet || inet->isExecuting(); });
    bool fetched = false;
    if (!busy)
        fetched = guard(102, [&] {
            requestKey = readKey();
            const Transfer::Answer answer =
                inet->fetch(weatherRequestUrl(query.baseUrl, query.location, requestKey));
            text = answer.body;
            if (facts) {
                facts->status = answer.status;
                facts->retryAfter = answer.retryAfter;
                facts->observedAt = observationTime(answer.body);
            }
        });
    // Another fetch started earlier is still under way further down the stack: let it finish.
    for (;;) {
        bool executing = false;
        guard(104, [&] { executing = inet && inet->isExecuting(); });
        if (!executing)
            break;
        guard(106, [] {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        });
    }
    const Reply reply = parseReply(text);
    const FetchOutcome result = busy       ? FetchOutcome::Busy
                                : !fetched ? FetchOutcome::NoAnswer
                                           : judgeReply(reply);
    if (outcome)
        *outcome = result;
    std::optional<DayRange> today;
    if (query.withForecast && result == FetchOutcome::Reading)
        today = fetchDayRange(inet, query, requestKey, *currentReading(reply));
    QString apiKey;
    guard(108, [&] { apiKey = readKey(); });
    return textFromReply(guard, reply, apiKey, query.tempType, query.details, today);
}

} // namespace nimbrel
