// Arbitrary bytes as the service's reply: the reader must give a text (or its report) for
// anything, never crash, and keep the shape of its five lines. The same bytes as a forecast
// must give a day's range that holds the current temperature, or none.
#include "forecast.h"
#include "guard.h"
#include "weathertext.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QString>
#include <QTimeZone>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// Reports are counted, never shown; the reader may report each of its three temperature steps
// once.
class CountingReporter : public nimbrel::FailureReporter {
public:
    bool report(const QString&, const QString&, int, nimbrel::ReportMode) override {
        ++count;
        return true;
    }
    void closeReports(const QString&, int) override {}
    int count = 0;
};

void expect(bool condition) {
    if (!condition)
        std::abort();
}

// The texts shown in place of the five lines: a refusal in the service's words, or one of the
// program's two hints.
bool isMessage(const QString& text) {
    return text.startsWith(QLatin1String("Invalid API key"), Qt::CaseInsensitive) ||
           text == QLatin1String("Please enter valid API key.") ||
           text.startsWith(QLatin1String("Please enter valid location. Please go to the "));
}

void readOnce(const QString& reply, const QString& key, const QString& tempType,
              const nimbrel::DetailChoices& details) {
    CountingReporter reports;
    nimbrel::setFailureReporter(&reports);
    nimbrel::Guard guard(QStringLiteral("Form2.getWeather"));
    const QString text = nimbrel::weatherTextFromReply(guard, reply, key, tempType, details);
    nimbrel::setFailureReporter(nullptr);
    expect(reports.count <= 3);
    // Without a key nothing but a message is shown.
    expect(!key.isEmpty() || isMessage(text));
    if (isMessage(text))
        return;
    expect(text.count(QLatin1String("\r\n")) >= 4);

    // The last line is the "High: " line whenever it is switched on: nothing from the reply
    // can reach it but a whole number.
    const QString last = text.section(QLatin1String("\r\n"), -1);
    if (!details.high || tempType.isEmpty()) {
        expect(last.isEmpty());
        return;
    }
    static const QRegularExpression highLine(QStringLiteral("^High: (-?[0-9]+|--) \u00B0([FC])$"));
    const QRegularExpressionMatch match = highLine.match(last);
    expect(match.hasMatch());
    expect(last != QStringLiteral("High: -0 \u00B0F") &&
           last != QStringLiteral("High: -0 \u00B0C"));
    // Only a reading (150 to 350 K) is drawn: -190 to 170 F, -123 to 77 C.
    if (match.captured(1) != QLatin1String("--")) {
        const int degrees = match.captured(1).toInt();
        const bool fahrenheit = match.captured(2) == QLatin1String("F");
        expect(degrees >= (fahrenheit ? -190 : -123) && degrees <= (fahrenheit ? 170 : 77));
    }
}

void readForecast(const QString& reply, double current, qint64 now) {
    const std::optional<nimbrel::Forecast> forecast = nimbrel::readForecastReply(reply);
    if (!forecast)
        return;
    const std::optional<nimbrel::DayRange> range = nimbrel::todayRange(
        *forecast, current, QDateTime::fromSecsSinceEpoch(now, QTimeZone::utc()));
    if (range) {
        expect(range->low <= current && current <= range->high);
        expect(range->low >= 150.0 && range->high <= 350.0);
    }
    // The strip's days: the place's own, in order from today, each a reading's range.
    QDate previous;
    for (const nimbrel::ForecastDay& day : nimbrel::forecastDays(*forecast, now)) {
        expect(day.date.isValid() && (!previous.isValid() || day.date > previous));
        expect(day.low <= day.high && day.low >= 150.0 && day.high <= 350.0);
        previous = day.date;
    }
    for (const nimbrel::ForecastPoint& point : nimbrel::forecastHours(*forecast, now))
        expect(point.time >= now && point.temperature.has_value());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString reply =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    nimbrel::DetailChoices all;
    nimbrel::DetailChoices none{false, false, false, false, false};
    readOnce(reply, QStringLiteral("demo-key"), QStringLiteral("Fahrenheit"), all);
    readOnce(reply, QStringLiteral("demo-key"), QStringLiteral("Celsius"), all);
    readOnce(reply, QStringLiteral("demo-key"), QString(), none);
    readOnce(reply, QString(), QStringLiteral("Fahrenheit"), all);
    // The seed forecast's afternoon at its place (UTC-8), and the night before.
    readForecast(reply, 293.15, 1733700000);
    readForecast(reply, 293.15, 1733648400);
    return 0;
}
