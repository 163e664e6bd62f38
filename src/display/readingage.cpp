#include "readingage.h"

#include <QTimeZone>

#include <algorithm>

namespace nimbrel {

namespace {

// No observation of this service is older; a "dt" before it is a placeholder such as 0.
const qint64 kEarliestObservation =
    QDateTime(QDate(2000, 1, 1), QTime(0, 0), QTimeZone::utc()).toSecsSinceEpoch();

} // namespace

ReadingAge ReadingAge::arrived(std::optional<qint64> observed, const QDateTime& sentAt,
                               const QDateTime& wallArrival, qint64 arrival) {
    ReadingAge reading;
    reading.m_arrival = arrival;
    // Without the service's word on the time, the computer's is the best there is.
    const qint64 reference =
        sentAt.isValid() ? sentAt.toSecsSinceEpoch() : wallArrival.toSecsSinceEpoch();
    // An observation after the reply was sent, or before the service existed, says nothing of
    // its age: the reading counts as new.
    if (observed && *observed >= kEarliestObservation && *observed <= reference)
        reading.m_ageAtArrival = reference - *observed;
    return reading;
}

qint64 ReadingAge::sinceArrival(qint64 monotonicNow) const {
    return m_arrival ? std::max<qint64>(0, (monotonicNow - *m_arrival) / 1000) : 0;
}

qint64 ReadingAge::age(qint64 monotonicNow) const {
    return m_ageAtArrival + sinceArrival(monotonicNow);
}

QDateTime ReadingAge::observedOn(const QDateTime& wallNow, qint64 monotonicNow) const {
    return m_arrival ? wallNow.addSecs(-age(monotonicNow)) : QDateTime();
}

} // namespace nimbrel
