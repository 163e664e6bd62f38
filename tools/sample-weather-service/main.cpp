#include "sampleweatherservice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHash>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void requestStop(int) {
    stopRequested = 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sample-weather-service"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Answers /data/2.5/weather and /data/2.5/forecast on 127.0.0.1 like the "
                       "weather service."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Port to listen on; 0 picks a free one."),
                                        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption keyOption(
        QStringLiteral("key"),
        QStringLiteral("An accepted API key (repeatable; default: demo-key)."),
        QStringLiteral("K"));
    const QCommandLineOption blockedOption(
        QStringLiteral("blocked-key"),
        QStringLiteral("A key whose account is blocked (repeatable)."), QStringLiteral("K"));
    const QCommandLineOption olderOption(
        QStringLiteral("older"), QStringLiteral("Write temp_max as the last member of \"main\"."));
    const QCommandLineOption floodOption(
        QStringLiteral("flood"),
        QStringLiteral("Answer every request with a body of N bytes, produced as it is read."),
        QStringLiteral("N"));
    const QCommandLineOption framingOption(
        QStringLiteral("framing"),
        QStringLiteral("How a flood is delimited: length, none, false-length or chunked "
                       "(default)."),
        QStringLiteral("F"), QStringLiteral("chunked"));
    const QCommandLineOption gzipOption(QStringLiteral("gzip"),
                                        QStringLiteral("Send a flood gzip-compressed."));
    parser.addOptions({portOption, keyOption, blockedOption, olderOption, floodOption,
                       framingOption, gzipOption});
    parser.process(app);

    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port > 65535) {
        std::fprintf(stderr, "sample-weather-service: bad port \"%s\"\n",
                     qPrintable(parser.value(portOption)));
        return 2;
    }

    nimbrel::sample::SampleWeatherService service;
    // Run on its own (the demo, the measurements) it shows a whole day's range.
    service.setMadeUpForecast(true);
    if (parser.isSet(keyOption))
        service.setValidKeys(parser.values(keyOption));
    service.setBlockedKeys(parser.values(blockedOption));
    if (parser.isSet(olderOption))
        service.setMemberOrder(nimbrel::sample::SampleWeatherService::MemberOrder::Older);
    if (parser.isSet(floodOption)) {
        using Service = nimbrel::sample::SampleWeatherService;
        static const QHash<QString, Service::Framing> framings{
            {QStringLiteral("length"), Service::Framing::Length},
            {QStringLiteral("none"), Service::Framing::NoLength},
            {QStringLiteral("false-length"), Service::Framing::FalseLength},
            {QStringLiteral("chunked"), Service::Framing::Chunked}};
        Service::Flood flood;
        bool sizeOk = false;
        flood.bytes = parser.value(floodOption).toLongLong(&sizeOk);
        const auto framing = framings.constFind(parser.value(framingOption));
        if (!sizeOk || flood.bytes < 0 || framing == framings.constEnd()) {
            std::fprintf(stderr, "sample-weather-service: bad flood \"%s\" or framing \"%s\"\n",
                         qPrintable(parser.value(floodOption)),
                         qPrintable(parser.value(framingOption)));
            return 2;
        }
        flood.framing = *framing;
        flood.gzip = parser.isSet(gzipOption);
        service.setFlood(flood);
    }
    if (!service.listen(static_cast<quint16>(port))) {
        std::fprintf(stderr, "sample-weather-service: cannot listen on 127.0.0.1:%u\n", port);
        return 1;
    }

    // Scripts wait for this one line to learn the port.
    std::printf("listening on %s\n", qPrintable(service.baseUrl()));
    std::fflush(stdout);

    // A signal handler may only set a flag; the event loop notices it and leaves in order.
    std::signal(SIGTERM, requestStop);
    std::signal(SIGINT, requestStop);
    QTimer stopPoll;
    QObject::connect(&stopPoll, &QTimer::timeout, &app, [] {
        if (stopRequested)
            QCoreApplication::quit();
    });
    stopPoll.start(100);

    return QCoreApplication::exec();
}
