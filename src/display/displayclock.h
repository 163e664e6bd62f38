#pragma once

#include <QDateTime>
#include <functional>

namespace nimbrel::displayclock {

using Clock = std::function<QDateTime()>;
using MonotonicClock = std::function<qint64()>; // milliseconds

// The computer's clock, which the wall shows and its night follows.
QDateTime now();
// A clock that only ever runs on, which ages readings.
qint64 monotonicNow();

// Replaces both for a test; without a monotonic clock of its own, the test's computer clock
// stands for both. Empty clocks restore the computer's.
void setForTesting(Clock clock, MonotonicClock monotonic);

} // namespace nimbrel::displayclock
