#include "commandline.h"

#include <QCommandLineParser>
#include <QHostAddress>
#include <QUrl>

#include <cstdio>

namespace nimbrel {

namespace {

void printTo(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// The status a shell script expects for a command line it got wrong.
constexpr int kUsageError = 2;

} // namespace

bool isUsableServiceUrl(const QString& url) {
    const QUrl parsed(url, QUrl::StrictMode);
    const QString scheme = parsed.scheme();
    return parsed.isValid() && !parsed.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

bool sendsKeyInClear(const QString& url) {
    const QUrl parsed(url, QUrl::StrictMode);
    if (parsed.scheme() != QLatin1String("http"))
        return false;
    const QString host = parsed.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return false;
    const QHostAddress address(host);
    return address.isNull() || !address.isLoopback();
}

CommandLineResult parseCommandLine(const QStringList& arguments, CommandLineStage stage) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows the current weather for one place on the whole screen."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption displayOption(
        QStringLiteral("display"),
        QStringLiteral("Open the full-screen display at once, as the settings window's start "
                       "button does."));
    const QCommandLineOption serviceOption(
        QStringLiteral("service-url"),
        QStringLiteral("Ask the weather service at <url> (http or https) for this run."),
        QStringLiteral("url"));
    parser.addOption(displayOption);
    parser.addOption(serviceOption);

    CommandLineResult result;
    if (!parser.parse(arguments)) {
        if (stage == CommandLineStage::BeforeApplication) {
            result.askAgainWithApplication = true;
            return result;
        }
        printTo(stderr, QStringLiteral("nimbrel: %1\n").arg(parser.errorText()));
        result.exitCode = kUsageError;
        return result;
    }
    if (parser.isSet(helpOption)) {
        // Without an application object Qt cannot know the program's name.
        printTo(stdout, parser.helpText().replace(QLatin1String("<executable_name>"),
                                                  QLatin1String("nimbrel")));
        return result;
    }
    if (parser.isSet(versionOption)) {
        printTo(stdout, QStringLiteral("Nimbrel %1\n").arg(QStringLiteral(NIMBREL_VERSION)));
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        printTo(stderr, QStringLiteral("nimbrel: unexpected argument '%1'\n")
                            .arg(parser.positionalArguments().constFirst()));
        result.exitCode = kUsageError;
        return result;
    }

    StartOptions options;
    options.display = parser.isSet(displayOption);
    if (parser.isSet(serviceOption)) {
        options.serviceUrl = parser.value(serviceOption);
        if (!isUsableServiceUrl(options.serviceUrl)) {
            printTo(stderr, QStringLiteral("nimbrel: '%1' is not an http or https address with "
                                           "a host\n")
                                .arg(options.serviceUrl));
            result.exitCode = kUsageError;
            return result;
        }
        if (sendsKeyInClear(options.serviceUrl))
            printTo(stderr, QStringLiteral("nimbrel: warning: %1 is plain http; your API key "
                                           "will travel unencrypted\n")
                                .arg(options.serviceUrl));
    }
    result.options = options;
    return result;
}

} // namespace nimbrel
