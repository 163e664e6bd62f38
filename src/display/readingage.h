#pragma once

#include <QDateTime>
#include <optional>

namespace nimbrel {

// How old the reading on screen is. Wall computers often have wrong clocks (a Raspberry Pi has
// no clock of its own and starts with the time it was shut down), so the age is the one the
// service gives it, on the service's own clock, when the reply arrives, and from then on what a
// monotonic clock counts: setting the computer's clock changes nothing.
class ReadingAge {
public:
    // No reading.
    ReadingAge() = default;
    // A reading observed at `observed` (the reply's "dt", Unix seconds; none when it gave none)
    // in a reply the service dated `sentAt` (its Date; invalid when it gave none), arriving at
    // `wallArrival` on the computer's clock and `arrival` on the monotonic one (milliseconds).
    static ReadingAge arrived(std::optional<qint64> observed, const QDateTime& sentAt,
                              const QDateTime& wallArrival, qint64 arrival);

    bool isValid() const { return m_arrival.has_value(); }
    // Seconds, at `monotonicNow`: since the observation, and since the reading arrived.
    qint64 age(qint64 monotonicNow) const;
    qint64 sinceArrival(qint64 monotonicNow) const;
    // When it was observed on the computer's clock as it stands at `wallNow`, so that what the
    // wall says of the reading agrees with its own clock line; invalid without a reading.
    QDateTime observedOn(const QDateTime& wallNow, qint64 monotonicNow) const;

private:
    std::optional<qint64> m_arrival;
    qint64 m_ageAtArrival = 0;
};

} // namespace nimbrel
