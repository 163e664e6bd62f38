#pragma once

#include "weatherlines.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

namespace nimbrel {

class Guard;
class Transfer;

struct WeatherQuery {
    QString baseUrl;  // serviceBaseUrl() in the program, the sample service in tests
    QString location; // as typed
    QString tempType; // "Fahrenheit", "Celsius", anything else builds no temperature line
    DetailChoices details;
    // Also give the address of the forecast for the same place and key, once the current weather
    // has a reading, so that the caller can ask it for the day's range and the strip.
    bool withForecast = false;
};

// What became of one fetch, for a caller that plans the next one. "Invalid API key" and "city
// not found" are answers: asking again sooner would not change them.
enum class FetchOutcome {
    Reading,   // the reply holds a current temperature
    Answer,    // the service refused the key or does not know the place
    NoReading, // a reply, but nothing to show (an error page, an empty body)
    NoAnswer,  // the fetch failed: refused, reset, timed out, too large
    Busy,      // another transfer was under way, so no request was sent
};

// What a reply said besides its text, for a caller that plans the next fetch and dates what it
// shows.
struct ReplyFacts {
    int status = 0;      // the HTTP status; 0 when no reply came
    int retryAfter = -1; // seconds from the reply's Retry-After; -1 when none
    QDateTime sentAt;    // the reply's Date, on the service's clock; may be invalid
    QString statusLine;  // "500 Internal Server Error"; empty when no reply came
};

// One fetch of the current weather, read: what became of it, what the reply said, and where its
// forecast is asked when the query wants it. Failing steps are reported through
// the guard (the caller's "Form2.getWeather"). The key is read through readKey before the
// request and again before judging the reply.
//
// Lines of "Form2.getWeather":
//   100  is the transfer busy? (then no request is sent and the reply stays empty)
//   102  read the key, build the address and fetch it (a failed fetch leaves the reply empty)
//   104  wait: is the transfer still executing?
//   106  wait: let pending events run
//   108  read the key again
//   114  current temperature (main.temp)  116  minimum (main.temp_min)  118  maximum
//        (main.temp_max): a value there that is not a number fails with "Type mismatch" (a
//        number outside 150 to 350 K is no reading and shows "--"); not reported when a
//        message takes the lines' place
struct FetchedWeather {
    FetchOutcome outcome = FetchOutcome::Busy;
    ReplyFacts facts;
    CurrentReply reply;
    // With query.withForecast and a reading: where the forecast that goes with it is asked.
    QString forecastAddress;
    bool keyStored = false;
};
FetchedWeather fetchCurrentWeather(Guard& guard, Transfer& transfer, const WeatherQuery& query,
                                   const std::function<QString()>& readKey);

// Asks the forecast in the background; `arrived` gets it once it has come and can be read. The
// forecast improves on what the current reply gives but is never a new way to fail: no answer,
// an error reply or a body over the cap leave everything as it is, and nobody is told.
void askForecast(Transfer& transfer, const QString& address,
                 std::function<void(const Forecast&)> arrived);

// The reading half on its own (no network): the lines of one reply, joined by CR LF, with its
// unreadable temperatures reported as above.
QString weatherTextFromReply(Guard& guard, const QString& reply, const QString& apiKey,
                             const QString& tempType, const DetailChoices& details);

// Reports the temperatures of a reply that were there but not numbers (lines 114 to 118), unless
// a message takes the lines' place.
void reportUnreadableTemperatures(Guard& guard, const CurrentReply& reply, bool keyStored);

} // namespace nimbrel
