#pragma once

#include "readingage.h"

#include <QDateTime>
#include <QLabel>
#include <QPoint>
#include <QSize>
#include <QString>
#include <optional>

namespace nimbrel {

// The bottom-left corner of the display: "as of 14:32" once the reading is an hour old, "No
// reading since 14:32" (with its day when not today) three hours after it arrived, when it is
// too old to show as weather whatever its own time says, or
// what the service answered instead of a reading. Hidden while there is nothing to say.
class AgeLine : public QLabel {
    Q_OBJECT
public:
    explicit AgeLine(QWidget* parent);

    // Letters sized by the window's height, one line of them high, standing on `bottomLeft`.
    void place(const QSize& window, const QPoint& bottomLeft);
    // Brings the line up to the reading's age at `now`. Asked every second, it only makes the
    // text again when what it says changes; true when that change is the reading's expiry.
    bool follow(const ReadingAge& reading, const QDateTime& now, qint64 monotonicNow,
                const QString& serviceSaid);
    // The reading or what stands in its place changed: the next follow makes the line afresh.
    void forget() { m_shown.reset(); }

private:
    enum class Age { None, Fresh, Old, Expired };
    std::optional<Age> m_shown;
    bool m_shownToday = true;
};

} // namespace nimbrel
