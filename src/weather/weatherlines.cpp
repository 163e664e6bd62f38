#include "weatherlines.h"

#include "rounding.h"

#include <QLocale>

#include <algorithm>
#include <array>

namespace nimbrel {

namespace {

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

QString temperatureLine(QLatin1String label, const std::optional<double>& kelvin,
                        TemperatureUnit unit) {
    const QLatin1Char letter(unit == TemperatureUnit::Fahrenheit ? 'F' : 'C');
    const QString number =
        kelvin ? QString::number(wholeDegrees(*kelvin, unit)) : QStringLiteral("--");
    return label + number + QLatin1Char(' ') + QChar(0x00B0) + letter;
}

// The eight points of the compass, from the north clockwise.
QString compassPoint(double degrees) {
    static const std::array<QLatin1String, 8> points{
        QLatin1String("N"), QLatin1String("NE"), QLatin1String("E"), QLatin1String("SE"),
        QLatin1String("S"), QLatin1String("SW"), QLatin1String("W"), QLatin1String("NW")};
    const auto index = qint64(roundHalfEven(degrees / 45.0)) % 8;
    return points[std::size_t(index)];
}

} // namespace

std::optional<TemperatureUnit> unitOf(const QString& tempType) {
    if (tempType == QLatin1String("Fahrenheit"))
        return TemperatureUnit::Fahrenheit;
    if (tempType == QLatin1String("Celsius"))
        return TemperatureUnit::Celsius;
    return std::nullopt;
}

// C = K - 273.15 = (100 K - 27315) / 100;  F = C * 1.8 + 32 = (180 K - 45967) / 100.
// Worked on the exact reply value with a single rounding at the end. With at most 14 decimals
// and K at most 350, 180 * units stays below 6.3e18, inside 64 bits.
qint64 wholeDegrees(double kelvin, TemperatureUnit unit) {
    const Decimal exact = exactDecimal(kelvin);
    const qint64 scale = powerOfTen(exact.decimals);
    const bool fahrenheit = unit == TemperatureUnit::Fahrenheit;
    const qint64 factor = fahrenheit ? 180 : 100;
    const qint64 offset = fahrenheit ? 45967 : 27315;
    return roundHalfEven(factor * exact.units - offset * scale, 100 * scale);
}

QString degreesText(double kelvin, TemperatureUnit unit) {
    return temperatureLine(QLatin1String(""), kelvin, unit);
}

bool messageInsteadOfLines(const CurrentReply& reply, bool keyStored) {
    return !keyStored || reply.verdict == ReplyVerdict::RefusedKey ||
           reply.verdict == ReplyVerdict::UnknownPlace;
}

QStringList weatherLines(const CurrentReply& reply, const LineChoices& choices) {
    if (reply.verdict == ReplyVerdict::RefusedKey)
        return {reply.refusal};
    if (!choices.keyStored)
        return {QStringLiteral("Please enter valid API key.")};
    if (reply.verdict == ReplyVerdict::UnknownPlace)
        return {QStringLiteral("Please enter valid location. Please go to the "
                               "https://openweathermap.org/city to learn how city should "
                               "be written.")};

    const Reading& reading = reply.reading;
    const DetailChoices& details = choices.details;
    std::optional<double> minimum = reading.minimum;
    std::optional<double> maximum = reading.maximum;
    if (choices.today) {
        minimum = choices.today->low;
        maximum = choices.today->high;
    }
    if (const std::optional<DayRange>& seen = choices.seenToday) {
        minimum = std::min(minimum.value_or(seen->low), seen->low);
        maximum = std::max(maximum.value_or(seen->high), seen->high);
    }
    QStringList lines(5);
    if (details.location)
        lines[0] = reading.place;
    if (details.summary)
        lines[2] = properCase(reading.description);
    if (const std::optional<TemperatureUnit> unit = unitOf(choices.tempType)) {
        if (details.current)
            lines[1] =
                temperatureLine(QLatin1String("Current Temperature: "), reading.temperature, *unit);
        if (details.low)
            lines[3] = temperatureLine(QLatin1String("Low: "), minimum, *unit);
        if (details.high)
            lines[4] = temperatureLine(QLatin1String("High: "), maximum, *unit);
    }
    return lines;
}

QString detailsLine(const Reading& reading, const QString& tempType) {
    const std::optional<TemperatureUnit> unit = unitOf(tempType);
    QStringList parts;
    if (reading.feelsLike && unit)
        parts.append(QStringLiteral("Feels like ") + degreesText(*reading.feelsLike, *unit));
    if (reading.humidity)
        parts.append(QStringLiteral("Humidity %1%").arg(*reading.humidity));
    if (reading.windSpeed) {
        const bool miles = unit == TemperatureUnit::Fahrenheit;
        // The service gives metres per second.
        const double speed = *reading.windSpeed * (miles ? 3600.0 / 1609.344 : 3.6);
        QString wind = QStringLiteral("Wind %1 %2")
                           .arg(qint64(roundHalfEven(speed)))
                           .arg(miles ? QLatin1String("mph") : QLatin1String("km/h"));
        if (reading.windDirection)
            wind += QLatin1Char(' ') + compassPoint(*reading.windDirection);
        parts.append(wind);
    }
    return parts.join(QStringLiteral(" \u00B7 "));
}

} // namespace nimbrel
