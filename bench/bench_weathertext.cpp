// Reading one reply of the service and building its text, beside a bare JSON parse of the same
// reply that extracts the same five values (what the reading costs at least), and reading the
// day's range out of a forecast. Both replies are fetched once from the sample service.
//
//   bench_weathertext [--benchmark_* options]
#include "apperror.h"
#include "forecast.h"
#include "guard.h"
#include "sampleweatherservice.h"
#include "transfer.h"
#include "weatherrequest.h"
#include "weathertext.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>

namespace {

QString g_reply;
QString g_forecast;
QDateTime g_fetchedAt;

// A report during a run would mean the reply was not read as intended.
class AbortOnReport : public nimbrel::FailureReporter {
public:
    bool report(const QString& description, const QString& reportName, int line,
                nimbrel::ReportMode) override {
        std::fprintf(stderr, "unexpected report: %s\n",
                     qPrintable(nimbrel::errorReportText(description, reportName, line)));
        std::abort();
    }
    void closeReports(const QString&, int) override {}
};

void readingAndText(benchmark::State& state) {
    nimbrel::Guard guard(QStringLiteral("Form2.getWeather"));
    const nimbrel::DetailChoices all;
    const QString key = QStringLiteral("demo-key");
    const QString unit = QStringLiteral("Fahrenheit");
    for (auto _ : state) {
        QString text = nimbrel::weatherTextFromReply(guard, g_reply, key, unit, all);
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(state.iterations() * g_reply.size() * qsizetype(sizeof(QChar)));
}

void jsonDocumentValues(benchmark::State& state) {
    // The reply arrives as bytes; the reader is handed it decoded and encodes it again, which
    // this parse is spared.
    const QByteArray bytes = g_reply.toUtf8();
    for (auto _ : state) {
        const QJsonObject root = QJsonDocument::fromJson(bytes).object();
        const QJsonObject main = root.value(QLatin1String("main")).toObject();
        double temp = main.value(QLatin1String("temp")).toDouble();
        double tempMin = main.value(QLatin1String("temp_min")).toDouble();
        double tempMax = main.value(QLatin1String("temp_max")).toDouble();
        QString name = root.value(QLatin1String("name")).toString();
        QString description = root.value(QLatin1String("weather"))
                                  .toArray()
                                  .at(0)
                                  .toObject()
                                  .value(QLatin1String("description"))
                                  .toString();
        benchmark::DoNotOptimize(temp);
        benchmark::DoNotOptimize(tempMin);
        benchmark::DoNotOptimize(tempMax);
        benchmark::DoNotOptimize(name);
        benchmark::DoNotOptimize(description);
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void forecastDayRange(benchmark::State& state) {
    for (auto _ : state) {
        const std::optional<nimbrel::Forecast> forecast = nimbrel::readForecastReply(g_forecast);
        std::optional<nimbrel::DayRange> range =
            forecast ? nimbrel::todayRange(*forecast, 293.15, g_fetchedAt) : std::nullopt;
        if (!range)
            std::abort();
        benchmark::DoNotOptimize(range);
    }
    state.SetBytesProcessed(state.iterations() * g_forecast.size() * qsizetype(sizeof(QChar)));
}

} // namespace

BENCHMARK(readingAndText);
BENCHMARK(jsonDocumentValues);
BENCHMARK(forecastDayRange);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QCoreApplication app(argc, argv);

    nimbrel::sample::SampleWeatherService service;
    if (!service.listen()) {
        std::fprintf(stderr, "the sample service cannot listen\n");
        return 1;
    }
    nimbrel::Transfer transfer;
    try {
        g_fetchedAt = QDateTime::currentDateTimeUtc();
        g_reply = transfer.fetchBody(nimbrel::weatherRequestUrl(
            service.baseUrl(), QStringLiteral("San Diego"), QStringLiteral("demo-key")));
        g_forecast = transfer.fetchBody(nimbrel::forecastRequestUrl(
            service.baseUrl(), QStringLiteral("San Diego"), QStringLiteral("demo-key")));
    } catch (const nimbrel::AppError& error) {
        std::fprintf(stderr, "fetch failed: %s\n", error.what());
        return 1;
    }
    std::printf("reply: %lld characters, forecast: %lld characters\n",
                static_cast<long long>(g_reply.size()), static_cast<long long>(g_forecast.size()));

    AbortOnReport reports;
    nimbrel::setFailureReporter(&reports);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    nimbrel::setFailureReporter(nullptr);
    return 0;
}
