#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace nimbrel {

// A time of day in the system's short form without its seconds: "14:05", "2:05 PM".
QString shortTimeText(const QTime& time, const QLocale& locale);

// "14:05 · Wednesday, 9 December 2026": the computer's local time in the system's 12- or
// 24-hour convention, the weekday and date in the system's language, or either alone.
QString clockText(const QDateTime& local, const QLocale& locale, bool time, bool date);

// The line above the place. It is made again only when the minute changes, so the display's
// every-second tick costs nothing more and the band repaints this line once a minute.
class ClockLine {
public:
    void choose(bool time, bool date);
    bool shown() const { return m_time || m_date; }
    // Brings the text to `now`; true when it changed.
    bool advance(const QDateTime& now);
    const QString& text() const { return m_text; }

private:
    bool m_time = false;
    bool m_date = false;
    qint64 m_minute = -1;
    QString m_text;
};

} // namespace nimbrel
