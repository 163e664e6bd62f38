#include "weathertext.h"

#include "apperror.h"
#include "guard.h"
#include "observationtime.h"
#include "rounding.h"
#include "transfer.h"
#include "weatherrequest.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QStringList>
#include <optional>

namespace nimbrel {

namespace {

const QLatin1String invalidKeyMarker("Invalid API key");
const QLatin1String cityNotFoundMarker("city not found");

// A number as the reply writes it, kept exact: units / 10^decimals.
struct Decimal {
    qint64 units = 0;
    int decimals = 0;
};

// Enough for any reading with room to spare, and small enough that the unit conversion below
// stays inside 64 bits: 180 * maxUnits + 45967 * 10^maxDecimals < 2^63.
constexpr qint64 maxUnits = 50'000'000'000'000'000;
constexpr int maxDecimals = 12;

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r') ||
           c == QLatin1Char('\n');
}

bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// A plain decimal number: optional blanks and sign, digits with at most one point. The point is
// the separator whatever the user's locale, because the reply is written the same everywhere.
Decimal parseDecimal(QStringView text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    const auto skipBlanks = [&] {
        while (i < n && isBlank(text[i]))
            ++i;
    };
    skipBlanks();
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
        skipBlanks();
    }
    const qsizetype integerStart = i;
    while (i < n && isAsciiDigit(text[i]))
        ++i;
    const QStringView integerDigits = text.sliced(integerStart, i - integerStart);
    QStringView fractionDigits;
    if (i < n && text[i] == QLatin1Char('.')) {
        const qsizetype fractionStart = ++i;
        while (i < n && isAsciiDigit(text[i]))
            ++i;
        fractionDigits = text.sliced(fractionStart, i - fractionStart);
    }
    skipBlanks();
    if (i != n || (integerDigits.isEmpty() && fractionDigits.isEmpty()))
        throw AppError::typeMismatch();

    while (fractionDigits.endsWith(QLatin1Char('0')))
        fractionDigits.chop(1);
    if (fractionDigits.size() > maxDecimals)
        throw AppError::overflow();

    Decimal result;
    result.decimals = static_cast<int>(fractionDigits.size());
    const auto append = [&result](QStringView digits) {
        for (const QChar c : digits) {
            const int digit = c.unicode() - '0';
            if (result.units > (maxUnits - digit) / 10)
                throw AppError::overflow();
            result.units = result.units * 10 + digit;
        }
    };
    append(integerDigits);
    append(fractionDigits);
    if (negative)
        result.units = -result.units;
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
// Worked on the exact reply value with a single rounding at the end.
qint64 wholeDegrees(Decimal kelvin, Unit unit) {
    const qint64 scale = powerOfTen(kelvin.decimals);
    const qint64 factor = unit == Unit::Fahrenheit ? 180 : 100;
    const qint64 offset = unit == Unit::Fahrenheit ? 45967 : 27315;
    return roundHalfEven(factor * kelvin.units - offset * scale, 100 * scale);
}

// The text after the first marker (any letter case) up to the next comma; none when the marker
// or the comma is missing.
std::optional<QString> valueAfter(const QString& reply, QLatin1String marker) {
    const qsizetype found = reply.indexOf(marker, 0, Qt::CaseInsensitive);
    if (found < 0)
        return std::nullopt;
    const qsizetype start = found + marker.size();
    const qsizetype comma = reply.indexOf(QLatin1Char(','), start);
    if (comma < 0)
        return std::nullopt;
    return reply.sliced(start, comma - start);
}

std::optional<Decimal> readKelvin(const QString& reply, QLatin1String marker) {
    std::optional<QString> text = valueAfter(reply, marker);
    if (!text)
        return std::nullopt;
    // temp_max may be the last member of its object, so a brace can sit before the comma.
    text->remove(QLatin1Char('}'));
    return parseDecimal(*text);
}

QString withoutQuotes(const std::optional<QString>& text) {
    QString result = text.value_or(QString());
    result.remove(QLatin1Char('"'));
    return result;
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

QString temperatureLine(QLatin1String label, const std::optional<Decimal>& kelvin, Unit unit) {
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

FetchOutcome judgeReply(const QString& reply) {
    if (reply.contains(invalidKeyMarker, Qt::CaseInsensitive) ||
        reply.contains(cityNotFoundMarker, Qt::CaseInsensitive))
        return FetchOutcome::Answer;
    try {
        if (readKelvin(reply, QLatin1String("\"temp\":")))
            return FetchOutcome::Reading;
    } catch (...) {
    }
    return FetchOutcome::NoReading;
}

} // namespace

QString weatherTextFromReply(Guard& guard, const QString& reply, const QString& apiKey,
                             const QString& tempType, const DetailChoices& details) {
    std::optional<QString> message;
    guard(110, [&] {
        const qsizetype refused = reply.indexOf(invalidKeyMarker, 0, Qt::CaseInsensitive);
        if (refused >= 0) {
            const qsizetype end = reply.indexOf(QLatin1String("\"}"), refused);
            message = reply.sliced(refused, (end < 0 ? reply.size() : end) - refused);
        } else if (apiKey.isEmpty()) {
            message = QStringLiteral("Please enter valid API key.");
        }
    });
    if (message)
        return *message;
    guard(112, [&] {
        if (reply.contains(cityNotFoundMarker, Qt::CaseInsensitive))
            message = QStringLiteral("Please enter valid location. Please go to the "
                                     "https://openweathermap.org/city to learn how city should "
                                     "be written.");
    });
    if (message)
        return *message;

    std::optional<Decimal> current;
    std::optional<Decimal> minimum;
    std::optional<Decimal> maximum;
    guard(114, [&] { current = readKelvin(reply, QLatin1String("\"temp\":")); });
    guard(116, [&] { minimum = readKelvin(reply, QLatin1String("\"temp_min\":")); });
    guard(118, [&] { maximum = readKelvin(reply, QLatin1String("\"temp_max\":")); });

    QString locationLine;
    QString currentLine;
    QString summaryLine;
    QString lowLine;
    QString highLine;
    guard(120, [&] {
        if (details.location)
            locationLine = withoutQuotes(valueAfter(reply, QLatin1String("\"name\":")));
    });
    guard(122, [&] {
        if (details.summary)
            summaryLine =
                properCase(withoutQuotes(valueAfter(reply, QLatin1String("\"description\":"))));
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

QString buildWeatherText(Guard& guard, Transfer& transfer, const WeatherQuery& query,
                         const std::function<QString()>& readKey, FetchOutcome* outcome,
                         ReplyFacts* facts) {
    // The transfer's owner may go away while events run below; then there is nothing to wait for.
    const QPointer<Transfer> inet(&transfer);
    QString reply;
    bool busy = true;
    guard(100, [&] { busy = !inet || inet->isExecuting(); });
    bool fetched = false;
    if (!busy)
        fetched = guard(102, [&] {
            const Transfer::Answer answer =
                inet->fetch(weatherRequestUrl(query.baseUrl, query.location, readKey()));
            reply = answer.body;
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
    if (outcome)
        *outcome = busy       ? FetchOutcome::Busy
                   : !fetched ? FetchOutcome::NoAnswer
                              : judgeReply(reply);
    QString apiKey;
    guard(108, [&] { apiKey = readKey(); });
    return weatherTextFromReply(guard, reply, apiKey, query.tempType, query.details);
}

} // namespace nimbrel
