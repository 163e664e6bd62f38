#pragma once

#include <QDateTime>
#include <QTime>
#include <QTimeZone>

namespace nimbrel {

// What the display does between "From" and "To": as stored, 0, 1, 2.
enum class NightMode { KeepShowing = 0, Dim = 1, ScreenOff = 2 };

struct NightChoices {
    NightMode mode = NightMode::KeepShowing;
    QTime from{23, 0};
    QTime to{6, 30};
    bool moveText = false;
};

// Reads them from the store; throws AppError for a value that cannot be read.
NightChoices storedNightChoices();

// Whether `now` (an instant) lies in a night: from "From" to "To" in the computer's local time
// (`zone`), a span that may cross midnight; "From" equal to "To" means never. Decided from the
// wall clock alone, so a computer that slept through "From" wakes into the night, and a night
// on which the clocks change starts once and ends once.
bool isNight(const QDateTime& now, const QTime& from, const QTime& to, const QTimeZone& zone);

} // namespace nimbrel
