#pragma once

#include "forecast.h"
#include "reading.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace nimbrel {

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

enum class TemperatureUnit { Fahrenheit, Celsius };

// "Fahrenheit" and "Celsius" exactly; anything else shows no temperature.
std::optional<TemperatureUnit> unitOf(const QString& tempType);
// A kelvin figure of the reply as whole degrees, rounded once, halves to even, from the decimal
// the reply wrote.
qint64 wholeDegrees(double kelvin, TemperatureUnit unit);
// "68 °F"
QString degreesText(double kelvin, TemperatureUnit unit);

struct LineChoices {
    bool keyStored = true;
    QString tempType; // "Fahrenheit", "Celsius", anything else builds no temperature line
    DetailChoices details;
    // The day's range, which takes the place of the reply's temp_min and temp_max when known.
    std::optional<DayRange> today;
    // Current temperatures already seen today, which widen whichever range is shown.
    std::optional<DayRange> seenToday;
};

// Whether one message takes the place of the lines (a refused key, no key, an unknown place).
bool messageInsteadOfLines(const CurrentReply& reply, bool keyStored);

// The display's lines for a reply: the place, the current temperature, the summary, "Low: " and
// "High: ", always five of them (a line switched off is empty), or the one message shown in
// their place (a refused key, no key, an unknown place). A temperature the reply lacks shows
// "--".
QStringList weatherLines(const CurrentReply& reply, const LineChoices& choices);

// "Feels like 66 °F · Humidity 60% · Wind 7 mph W": the parts the reading has, in miles an hour
// beside Fahrenheit and kilometres an hour otherwise. Empty when it has none of them.
QString detailsLine(const Reading& reading, const QString& tempType);

} // namespace nimbrel
