#pragma once

#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

namespace nimbrel {

class Guard;
class Transfer;

// Which of the five lines the settings window's detail boxes ask for. Each box switches the line
// its caption names: "High" (stored as "Check6") the "High: " line, "Low" ("Check7") the "Low: "
// line.
struct DetailChoices {
    bool location = true;
    bool current = true;
    bool summary = true;
    bool high = true;
    bool low = true;
};

struct WeatherQuery {
    QString baseUrl;  // serviceBaseUrl() in the program, the sample service in tests
    QString location; // as typed
    QString tempType; // "Fahrenheit", "Celsius", anything else builds no temperature line
    DetailChoices details;
    // Also ask the forecast, once the current weather has a reading, so that the "Low: " and
    // "High: " lines give the day's range rather than the reply's temp_min and temp_max.
    bool withForecast = false;
    // What "today" is counted from; the computer's clock when empty.
    std::function<QDateTime()> now;
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
    int status = 0;                   // the HTTP status; 0 when no reply came
    int retryAfter = -1;              // seconds from the reply's Retry-After; -1 when none
    std::optional<qint64> observedAt; // the observation time the reply gives ("dt"), Unix seconds
};

// Fetches the current weather through the transfer and returns the five display lines joined
// by CR LF, or the service's or the program's message in their place. Failing steps are
// reported through the guard (the caller's "Form2.getWeather") and the text is still built.
// The key is read through readKey before the request and again before judging the reply.
//
// Lines of "Form2.getWeather":
//   100  is the transfer busy? (then no request is sent and the reply stays empty)
//   102  read the key, build the address and fetch it (a failed fetch leaves the reply empty)
//   104  wait: is the transfer still executing?
//   106  wait: let pending events run
//   108  read the key again
//   110  refused or missing key: the service's "Invalid API key" text or the program's hint
//   112  unknown place: the city-list message
//   114  current temperature (main.temp)  116  minimum (main.temp_min)  118  maximum
//   (main.temp_max)
//        (a value there that is not a number fails with "Type mismatch"; a number outside 150
//        to 350 K is no reading and shows "--")
//   120  location line    122  summary line    124  current temperature line
//   126  "Low: " line     128  "High: " line
// With query.withForecast, a reading is followed by a request for the forecast through the same
// transfer; the two lines then show the day's range from it. A forecast that cannot be had
// leaves them to temp_min and temp_max and is never reported.
// When outcome is given, it is set to what became of the current-weather fetch; when facts is
// given, to what the reply said besides.
QString buildWeatherText(Guard& guard, Transfer& transfer, const WeatherQuery& query,
                         const std::function<QString()>& readKey, FetchOutcome* outcome = nullptr,
                         ReplyFacts* facts = nullptr);

// The reading half on its own (no network): what the text builder makes of one reply, lines 110
// to 128 above. A JSON reply is read member by member; any other (an error page, a portal's
// login) holds no reading. Failures of single values are reported through the guard, and a
// temperature that is missing, unreadable or no reading shows "--" in its line.
QString weatherTextFromReply(Guard& guard, const QString& reply, const QString& apiKey,
                             const QString& tempType, const DetailChoices& details);

} // namespace nimbrel
