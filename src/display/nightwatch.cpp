#include "nightwatch.h"

#include "burninwalk.h"

#include <QTimeZone>

#include <algorithm>
#include <utility>

namespace nimbrel {

namespace {

// A night woken by someone shows the weather this long before the screen goes off again, and
// fetches first if its reading is older than the regular period.
constexpr qint64 kWokenSeconds = qint64(5) * 60;
constexpr qint64 kStaleForWaking = qint64(10) * 60;
constexpr qint64 kSecondsPerWalkMove = qint64(5) * 60;

NightWatch::ScreenPowerFactory& screenPowerFactory() {
    static NightWatch::ScreenPowerFactory factory;
    return factory;
}

} // namespace

void NightWatch::setScreenPowerFactoryForTesting(ScreenPowerFactory factory) {
    screenPowerFactory() = std::move(factory);
}

NightWatch::NightWatch(QWidget* window) : m_window(window) {}

NightWatch::~NightWatch() {
    // A display that goes away at night leaves the monitor as it found it.
    if (m_power && (m_state == State::ScreenOff || m_state == State::Woken))
        m_power->turnOn();
}

void NightWatch::choose(const NightChoices& choices) {
    m_choices = choices;
}

NightWatch::Step NightWatch::tick(const QDateTime& now, const QDateTime& readingTime) {
    if (!m_walkStart.isValid())
        m_walkStart = now;
    const bool night = m_choices.mode != NightMode::KeepShowing &&
                       isNight(now, m_choices.from, m_choices.to, QTimeZone::systemTimeZone());
    const bool noticed = std::exchange(m_userNoticed, false);
    Step step;
    if (!night) {
        if (m_state == State::ScreenOff || m_state == State::Woken) {
            if (m_power)
                m_power->turnOn();
            step.resumeKeepAwake = true;
            step.fetchNow = true;
        }
        step.showHeldReports = m_state != State::Day;
        m_state = State::Day;
        return step;
    }
    if (m_choices.mode == NightMode::Dim) {
        // A change of choice in the night, from the screen off to dimming, wakes the screen.
        if (m_state == State::ScreenOff || m_state == State::Woken) {
            if (m_power)
                m_power->turnOn();
            step.resumeKeepAwake = true;
        }
        m_state = State::Dimmed;
        return step;
    }
    switch (m_state) {
    case State::Day:
    case State::Dimmed:
        if (!m_power) {
            const ScreenPowerFactory& factory = screenPowerFactory();
            m_power = factory ? factory() : createPlatformScreenPower(m_window);
        }
        m_power->turnOff();
        step.pauseKeepAwake = true;
        m_state = State::ScreenOff;
        break;
    case State::ScreenOff:
        if (noticed) {
            m_state = State::Woken;
            m_wokenUntil = now.addSecs(kWokenSeconds);
            step.fetchNow = !readingTime.isValid() || readingTime.secsTo(now) > kStaleForWaking;
        }
        break;
    case State::Woken:
        if (noticed)
            m_wokenUntil = now.addSecs(kWokenSeconds);
        else if (now >= m_wokenUntil) {
            m_power->turnOff();
            m_state = State::ScreenOff;
        }
        break;
    }
    return step;
}

void NightWatch::noticeUser() {
    m_userNoticed = m_state == State::ScreenOff || m_state == State::Woken;
}

NightWatch::Look NightWatch::look() const {
    switch (m_state) {
    case State::Dimmed:
        return Look::Dimmed;
    case State::ScreenOff:
        return Look::Background;
    case State::Day:
    case State::Woken:
        break;
    }
    return Look::Weather;
}

bool NightWatch::fetchesAllowed() const {
    return m_state == State::Day || m_state == State::Dimmed;
}

bool NightWatch::holdsReports() const {
    return m_state != State::Day;
}

QPoint NightWatch::walkRoom(const QSize& size) const {
    if (!m_choices.moveText)
        return {};
    return burnInReach(size);
}

QPoint NightWatch::walkOffset(const QDateTime& now, const QSize& size) const {
    if (!m_choices.moveText || !m_walkStart.isValid())
        return {};
    const qint64 moves = std::max<qint64>(0, m_walkStart.secsTo(now) / kSecondsPerWalkMove);
    return burnInOffset(moves, size);
}

NightWatch::Colours NightWatch::colours(Look look, const QColor& text, const QColor& hint,
                                        const QColor& background) {
    switch (look) {
    case Look::Dimmed:
        // The hint is for someone at the screen by day.
        return {dimmed(text, background), dimmed(hint, background), background};
    case Look::Background:
        return {background, background, background};
    case Look::Weather:
        break;
    }
    return {text, hint, hint};
}

QColor dimmed(const QColor& colour, const QColor& background) {
    const auto blend = [](int from, int to) { return from + (to - from) * 3 / 4; };
    return QColor(blend(colour.red(), background.red()), blend(colour.green(), background.green()),
                  blend(colour.blue(), background.blue()));
}

} // namespace nimbrel
