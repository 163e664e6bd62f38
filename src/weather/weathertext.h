#pragma once

#include <QString>
#include <functional>

namespace nimbrel {

class Guard;
class Transfer;

// The five detail boxes of the settings window. Check6 is captioned "High" and switches the
// "High: " line; Check7 is captioned "Low" and switches the "Low: " line.
struct DetailChoices {
    bool location = true; // Check2
    bool current = true;  // Check3
    bool summary = true;  // Check5
    bool high = true;     // Check6
    bool low = true;      // Check7
};

struct WeatherQuery {
    QString baseUrl;  // serviceBaseUrl() in the program, the sample service in tests
    QString location; // as typed
    QString tempType; // "Fahrenheit", "Celsius", anything else builds no temperature line
    DetailChoices details;
};

// Fetches the current weather through the transfer and returns the five display lines joined
// by CR LF, or the service's or the program's message in their place. Failing steps are
// reported through the guard (the caller's "Form2.getWeather") and the text is still built.
// The key is read through readKey before the request and again before judging the reply.
QString buildWeatherText(Guard& guard, Transfer& transfer, const WeatherQuery& query,
                         const std::function<QString()>& readKey);

// The reading half on its own (no network): what the text builder makes of one reply.
// Failures of single values are reported through the guard.
QString weatherTextFromReply(Guard& guard, const QString& reply, const QString& apiKey,
                             const QString& tempType, const DetailChoices& details);

} // namespace nimbrel
