#include "displayclock.h"

#include <QElapsedTimer>

namespace nimbrel::displayclock {

namespace {

Clock& clockForTesting() {
    static Clock clock;
    return clock;
}

MonotonicClock& monotonicClockForTesting() {
    static MonotonicClock clock;
    return clock;
}

} // namespace

QDateTime now() {
    const Clock& clock = clockForTesting();
    return clock ? clock() : QDateTime::currentDateTimeUtc();
}

// Counted from the computer's clock as it stood when first asked, so that its milliseconds read
// like times (and a test may swap the computer's clock for its own midway), and never following
// a change of that clock afterwards.
qint64 monotonicNow() {
    if (const MonotonicClock& clock = monotonicClockForTesting())
        return clock();
    if (const Clock& clock = clockForTesting())
        return clock().toMSecsSinceEpoch();
    static const qint64 start = QDateTime::currentMSecsSinceEpoch();
    static const QElapsedTimer sinceStart = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return start + sinceStart.elapsed();
}

void setForTesting(Clock clock, MonotonicClock monotonic) {
    clockForTesting() = std::move(clock);
    monotonicClockForTesting() = std::move(monotonic);
}

} // namespace nimbrel::displayclock
