#include "weathertext.h"

#include "apperror.h"
#include "forecast.h"
#include "guard.h"
#include "transfer.h"
#include "weatherrequest.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>

namespace nimbrel {

namespace {

FetchOutcome outcomeOf(const CurrentReply& reply) {
    switch (reply.verdict) {
    case ReplyVerdict::Reading:
        return FetchOutcome::Reading;
    case ReplyVerdict::RefusedKey:
    case ReplyVerdict::UnknownPlace:
        return FetchOutcome::Answer;
    case ReplyVerdict::NoReading:
        break;
    }
    return FetchOutcome::NoReading;
}

QString joined(const QStringList& lines) {
    return lines.join(QLatin1String("\r\n"));
}

} // namespace

void reportUnreadableTemperatures(Guard& guard, const CurrentReply& reply, bool keyStored) {
    if (messageInsteadOfLines(reply, keyStored))
        return;
    const auto report = [&guard](bool unreadable, int line) {
        if (unreadable)
            guard(line, [] { throw AppError::typeMismatch(); });
    };
    report(reply.temperatureUnreadable, 114);
    report(reply.minimumUnreadable, 116);
    report(reply.maximumUnreadable, 118);
}

QString weatherTextFromReply(Guard& guard, const QString& reply, const QString& apiKey,
                             const QString& tempType, const DetailChoices& details) {
    const CurrentReply read = readCurrentReply(reply);
    reportUnreadableTemperatures(guard, read, !apiKey.isEmpty());
    return joined(weatherLines(read, LineChoices{!apiKey.isEmpty(), tempType, details, {}, {}}));
}

FetchedWeather fetchCurrentWeather(Guard& guard, Transfer& transfer, const WeatherQuery& query,
                                   const std::function<QString()>& readKey) {
    // The transfer's owner may go away while events run below; then there is nothing to wait for.
    const QPointer<Transfer> inet(&transfer);
    FetchedWeather fetched;
    QString body;
    QString requestKey;
    bool busy = true;
    guard(100, [&] { busy = !inet || inet->isExecuting(); });
    bool answered = false;
    if (!busy)
        answered = guard(102, [&] {
            requestKey = readKey();
            const Transfer::Answer answer =
                inet->fetch(weatherRequestUrl(query.baseUrl, query.location, requestKey));
            body = answer.body;
            fetched.facts.status = answer.status;
            fetched.facts.retryAfter = answer.retryAfter;
            fetched.facts.statusLine = answer.statusLine();
            fetched.facts.sentAt = answer.sentAt;
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
    fetched.reply = readCurrentReply(body);
    fetched.outcome = busy        ? FetchOutcome::Busy
                      : !answered ? FetchOutcome::NoAnswer
                                  : outcomeOf(fetched.reply);
    if (query.withForecast && fetched.outcome == FetchOutcome::Reading)
        fetched.forecastAddress = forecastRequestUrl(query.baseUrl, query.location, requestKey);
    QString apiKey;
    guard(108, [&] { apiKey = readKey(); });
    fetched.keyStored = !apiKey.isEmpty();
    reportUnreadableTemperatures(guard, fetched.reply, fetched.keyStored);
    return fetched;
}

void askForecast(Transfer& transfer, const QString& address,
                 std::function<void(const Forecast&)> arrived) {
    // An address that cannot be asked is as good as no answer.
    try {
        transfer.fetchInBackground(
            address,
            [arrived = std::move(arrived)](const Transfer::Answer& answer, const QString& failure) {
                if (!failure.isEmpty() || answer.status != 200)
                    return;
                if (const std::optional<Forecast> forecast = readForecastReply(answer.body))
                    arrived(*forecast);
            });
    } catch (const AppError&) {
    }
}

} // namespace nimbrel
