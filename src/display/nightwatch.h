#pragma once

#include "nightschedule.h"
#include "screen_power.h"

#include <QColor>
#include <QDateTime>
#include <QPoint>
#include <QSize>
#include <functional>
#include <memory>

class QWidget;

namespace nimbrel {

// The display's nights and its slow walk against burn-in, decided on every tick from the wall
// clock, never from counted ticks: a computer that slept through the evening wakes into the
// night, and one that wakes after it wakes into the day.
class NightWatch {
public:
    using ScreenPowerFactory = std::function<std::unique_ptr<ScreenPower>()>;
    // Replaces the platform's screen power for watches made from now on; empty restores it.
    static void setScreenPowerFactoryForTesting(ScreenPowerFactory factory);

    explicit NightWatch(QWidget* window);
    ~NightWatch();
    NightWatch(const NightWatch&) = delete;
    NightWatch& operator=(const NightWatch&) = delete;

    void choose(const NightChoices& choices);

    // What one tick is to do besides drawing.
    struct Step {
        bool pauseKeepAwake = false;  // the screen goes off: no nudges, no idle inhibition
        bool resumeKeepAwake = false; // the morning
        bool fetchNow = false;        // the morning's fresh reading, or a woken night's
        bool showHeldReports = false; // what went wrong in the night and still does
    };
    Step tick(const QDateTime& now, const QDateTime& readingTime);
    // Someone pressed a key or moved the mouse: at night with the screen off, the weather shows
    // for a while.
    void noticeUser();

    enum class Look { Weather, Dimmed, Background };
    Look look() const;
    // The colours the elements, the age line and the hint are drawn in for the look, from the
    // day's.
    struct Colours {
        QColor text;
        QColor ageLine;
        QColor hint;
    };
    static Colours colours(Look look, const QColor& text, const QColor& hint,
                           const QColor& background);
    // Timed fetches wait while the screen is off.
    bool fetchesAllowed() const;
    // Reports of the display's own timers wait for the morning.
    bool holdsReports() const;
    // How far the band, the elements and the age line stand from their place now, and the room
    // the layout keeps free for that on each side.
    QPoint walkOffset(const QDateTime& now, const QSize& size) const;
    QPoint walkRoom(const QSize& size) const;

private:
    enum class State { Day, Dimmed, ScreenOff, Woken };

    QWidget* m_window;
    std::unique_ptr<ScreenPower> m_power;
    NightChoices m_choices;
    State m_state = State::Day;
    bool m_userNoticed = false;
    QDateTime m_wokenUntil;
    // The walk is counted from the first tick.
    QDateTime m_walkStart;
};

// A colour drawn at a quarter of its brightness over the background: blended three quarters of
// the way to it.
QColor dimmed(const QColor& colour, const QColor& background);

} // namespace nimbrel
