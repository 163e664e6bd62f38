#include "ageline.h"

#include <QFontMetrics>
#include <QLocale>

#include <algorithm>

namespace nimbrel {

namespace {

// Ages of a reading, in seconds: past the first it is dated on screen, from the second on it is
// no longer shown as weather.
constexpr qint64 kReadingOldAfter = qint64(60) * 60;
constexpr qint64 kReadingGoneAfter = qint64(3) * 60 * 60;
// The line is for reading across a room, so it is sized by the screen: a 1080-line screen gives
// 45-pixel letters, about half the height of the weather text's.
constexpr int kScreenLinesPerLetter = 24;
constexpr int kSmallestLetter = 12;

} // namespace

AgeLine::AgeLine(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("ageLine"));
    setFocusPolicy(Qt::NoFocus);
    setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    hide();
}

void AgeLine::place(const QSize& window, const QPoint& bottomLeft) {
    QFont letters = font();
    letters.setPixelSize(std::max(kSmallestLetter, window.height() / kScreenLinesPerLetter));
    setFont(letters);
    adjustSize();
    // One line of its font, whatever it says, so the corner kept free for it is known before.
    resize(width(), QFontMetrics(letters, this).height());
    move(bottomLeft.x(), bottomLeft.y() - height());
}

bool AgeLine::follow(const ReadingAge& reading, const QDateTime& now, qint64 monotonicNow,
                     const QString& serviceSaid) {
    Age age = Age::None;
    if (reading.isValid())
        age = reading.sinceArrival(monotonicNow) >= kReadingGoneAfter ? Age::Expired
              : reading.age(monotonicNow) > kReadingOldAfter          ? Age::Old
                                                                      : Age::Fresh;
    // A reading from another day than today says which day; only a dated line needs the day.
    const bool dated = age == Age::Old || age == Age::Expired;
    const QDateTime local =
        dated ? reading.observedOn(now, monotonicNow).toLocalTime() : QDateTime();
    const bool today = !dated || local.date() == now.toLocalTime().date();
    if (m_shown == age && m_shownToday == today)
        return false;
    m_shown = age;
    m_shownToday = today;
    const QLocale locale = QLocale::system();
    QString since = local.toString(QStringLiteral("HH:mm"));
    if (!today)
        since = locale.dayName(local.date().dayOfWeek(), QLocale::ShortFormat) + QLatin1Char(' ') +
                locale.toString(local.date(), QLocale::ShortFormat) + QLatin1Char(' ') + since;
    QString line = age == Age::None ? serviceSaid : QString();
    if (age == Age::Old)
        line = QStringLiteral("as of ") + since;
    else if (age == Age::Expired)
        line = QStringLiteral("No reading since ") + since;
    setText(line);
    setVisible(!line.isEmpty());
    if (!line.isEmpty()) {
        // As wide as what it says now, still one line high where it stands.
        const int lineHeight = height();
        adjustSize();
        resize(width(), lineHeight);
    }
    return age == Age::Expired;
}

} // namespace nimbrel
