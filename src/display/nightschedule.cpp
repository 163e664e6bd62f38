#include "nightschedule.h"

#include "settingsschema.h"

namespace nimbrel {

namespace {

constexpr qint64 kDayMs = qint64{24} * 60 * 60 * 1000;

qint64 offsetMsAt(qint64 instantMs, const QTimeZone& zone) {
    return qint64(zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(instantMs, QTimeZone::utc()))) *
           1000;
}

// The instant at which the zone's clock first shows `time` on `date`: in the hour that repeats
// when the clocks go back, its first occurrence; in the hour that the clocks skip, the moment
// they come back. Worked out from offsets rather than left to QDateTime, whose choice in a gap
// differs between Qt releases.
qint64 firstInstant(const QDate& date, const QTime& time, const QTimeZone& zone) {
    const qint64 wall = QDate(1970, 1, 1).daysTo(date) * kDayMs + time.msecsSinceStartOfDay();
    // A day either side is past any change near this wall time, and changes are months apart.
    const qint64 before = offsetMsAt(wall - kDayMs, zone);
    const qint64 after = offsetMsAt(wall + kDayMs, zone);
    for (const qint64 offset : {before, after}) {
        if (offsetMsAt(wall - offset, zone) == offset)
            return wall - offset;
    }
    // In the gap: the change itself lies between the two readings.
    qint64 low = wall - after;
    qint64 high = wall - before;
    while (high - low > 1) {
        const qint64 middle = low + (high - low) / 2;
        if (offsetMsAt(middle, zone) == after)
            high = middle;
        else
            low = middle;
    }
    return high;
}

} // namespace

NightChoices storedNightChoices() {
    using settings::Key;
    constexpr auto user = settings::User::Display;
    NightChoices choices;
    const qint16 mode = settings::whole(Key::NightMode, user);
    if (mode == int(NightMode::Dim) || mode == int(NightMode::ScreenOff))
        choices.mode = NightMode(mode);
    choices.from = settings::clockTime(Key::NightFrom, user);
    choices.to = settings::clockTime(Key::NightTo, user);
    choices.moveText = settings::whole(Key::MoveText, user) == 1;
    return choices;
}

bool isNight(const QDateTime& now, const QTime& from, const QTime& to, const QTimeZone& zone) {
    if (!from.isValid() || !to.isValid() || from == to)
        return false;
    // The night that began last, on today's date or yesterday's: nights never overlap, so no
    // earlier one can still be running.
    const qint64 nowMs = now.toMSecsSinceEpoch();
    QDate night = now.toTimeZone(zone).date();
    qint64 start = firstInstant(night, from, zone);
    if (start > nowMs) {
        night = night.addDays(-1);
        start = firstInstant(night, from, zone);
    }
    const qint64 end = firstInstant(to > from ? night : night.addDays(1), to, zone);
    return start <= nowMs && nowMs < end;
}

} // namespace nimbrel
