#include "clockline.h"

#include <QRegularExpression>

namespace nimbrel {

QString shortTimeText(const QTime& time, const QLocale& locale) {
    // Some locales' short time still has seconds; a line redrawn once a minute must not.
    static const QRegularExpression seconds(QStringLiteral("[.:]?s+"));
    QString format = locale.timeFormat(QLocale::ShortFormat);
    format.remove(seconds);
    return locale.toString(time, format.trimmed());
}

QString clockText(const QDateTime& local, const QLocale& locale, bool time, bool date) {
    QString text;
    if (time)
        text = shortTimeText(local.time(), locale);
    if (date) {
        if (!text.isEmpty())
            text += QStringLiteral(" \u00B7 ");
        text += locale.toString(local.date(), QLocale::LongFormat);
    }
    return text;
}

void ClockLine::choose(bool time, bool date) {
    if (time == m_time && date == m_date)
        return;
    m_time = time;
    m_date = date;
    m_minute = -1;
    m_text.clear();
}

bool ClockLine::advance(const QDateTime& now) {
    if (!shown())
        return false;
    const QDateTime local = now.toLocalTime();
    // Counted on the local calendar, so a change of the clock (daylight saving, the user) shows at
    // once rather than at the next minute of the old count.
    const qint64 minute = local.date().toJulianDay() * 24 * 60 + qint64(local.time().hour()) * 60 +
                          local.time().minute();
    if (minute == m_minute)
        return false;
    m_minute = minute;
    const QString text = clockText(local, QLocale::system(), m_time, m_date);
    if (text == m_text)
        return false;
    m_text = text;
    return true;
}

} // namespace nimbrel
