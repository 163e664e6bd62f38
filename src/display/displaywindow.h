#pragma once

#include "displayclock.h"
#include "displaycontent.h"
#include "displayrequest.h"
#include "fetchplan.h"
#include "forms.h"
#include "hideword.h"
#include "idle_inhibitor.h"
#include "keep_awake.h"
#include "nightwatch.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QTimer;

namespace nimbrel {

class AgeLine;
class ComebackWatcher;
class DrawingBand;
class ForecastStrip;
class Guard;
class MeasuringLabel;
class Procedure;
class Transfer;

// The full-screen display: the weather text in large type on one colour, a small hint in the
// top-left corner, a refresh and drawing tick every second and, when keep-awake was on as the
// window was created, a keep-awake tick every 59 seconds. Escape goes back to the settings
// window and leaves the display running hidden; a close request discards it. Typing the word
// "hide" removes the hint until the window is created again. A reading more than an hour old
// is dated in the bottom-left corner, and after three hours it is no longer shown as weather.
class DisplayWindow : public Form {
    Q_OBJECT
public:
    DisplayWindow();
    ~DisplayWindow() override;

    // The place and unit every fetch from now on asks for. The start command hands them over
    // before a new window loads, so that the load's fetch already asks for the place.
    void setRequest(const DisplayRequest& request);
    const DisplayRequest& request() const { return m_request; }
    // The start command's fetches (the layout's as the window is created, then the restyle's
    // two) make one opening. Once one of them got no answer, the others take that result at
    // once: a dead service costs the person who clicked one wait and one report, not three.
    void beginOpening();
    void endOpening();
    // Reads the stored font, colours and alignment afresh, fetching for the measured size and
    // again for the drawn text.
    void reloadStyle();
    // Fetches now and returns the weather text the band would draw.
    QString getWeather();
    // The display's transfer is the program's one transfer.
    Transfer& transfer();

    void onLoad() override;
    bool closeRequested(CloseReason reason) override;
    void onUnload() override;

    // The layout: a full-width band exactly as tall as the text, centred vertically. Fetches.
    void layOut();
    // Hides the measuring label and the band; the next refresh tick shows the band again.
    void onActivate();
    // keyCode is a Qt::Key; a swallowed key comes back as 0.
    void onKeyDown(int& keyCode, Qt::KeyboardModifiers shift);
    // Every second: counts towards the next fetch, fetches when it is due, draws the band.
    void refreshTick();
    // Every 59 seconds while keep-awake is on: tells the system someone is there.
    void keepAwakeTick();
    // A fetch right now that counts as the timed one, so the ten minutes start again from here:
    // after a resume from suspend or when the network comes back.
    void refreshNow();

    using KeepAwakeFactory = std::function<std::unique_ptr<KeepAwake>()>;
    // Replaces the platform's keep-awake for windows whose first keep-awake tick comes later;
    // an empty factory restores the platform's.
    static void setKeepAwakeFactoryForTesting(KeepAwakeFactory factory);
    using Clock = displayclock::Clock;
    using MonotonicClock = displayclock::MonotonicClock;
    // Replaces the computer's clock, and the monotonic one that ages readings (displayclock.h).
    static void setClockForTesting(Clock clock, MonotonicClock monotonic = {});
    // The forecast is asked beside the current weather, through a transfer of its own.
    Transfer& forecastTransfer() { return *m_forecastTransfer; }

    // For tests: the refresh counter and the text the tick draws.
    int tickCount() const { return m_tickCount; }
    void setTickCountForTesting(int ticks) { m_tickCount = ticks; }
    QString weatherText() const { return m_content.weatherLines().join(QLatin1String("\r\n")); }

    // Covers the monitor chosen on the command line, else the one holding most of the settings
    // window (the primary one when it is not loaded), also where no window manager acts on a
    // full-screen request.
    void setVisible(bool visible) override;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void createKeepAwake();
    void placeBand();
    void drawTick(Procedure& g);
    // A fetch and the lines made from it.
    struct Fetched {
        FetchedWeather weather;
        QStringList lines;
        LineChoices choices;
    };
    // The fetch behind getWeather. A scheduled one (the refresh tick's) reports without holding
    // the tick and does not belong to an opening. Only a fetch whose text is drawn asks the
    // forecast for the day's low and high and the strip: one per opening and one per refresh.
    // The forecast is asked once the reading is up and never holds anything back.
    Fetched fetchWeather(bool scheduled, bool withForecast = false);
    // Puts a fetch's lines up as the ones to draw, unless they would take a reading's place with
    // nothing after a failed timed fetch.
    void takeFetched(const Fetched& fetched, bool scheduled);
    void readElementChoices();
    // The night's part of a tick; true when it asks for a fetch now.
    bool nightTick();
    // The colours of the look the night asks for, from the day's as the restyle left them.
    void applyLook();
    // Reports of the display's own timers are held back at night; the morning's ticks and fetch
    // report again whatever still fails.
    void holdReportsAtNight(Guard& guard);
    // Dates the reading on screen once it is old, and takes its figures down once it is too old.
    void showReadingAge();
    void placeAgeLine();

    QLabel* m_hint;
    // "as of 14:32" in the bottom-left corner while the reading is old; hidden otherwise.
    AgeLine* m_ageLine;
    MeasuringLabel* m_measuringLabel;
    DrawingBand* m_band;
    ForecastStrip* m_strip;
    Transfer* m_forecastTransfer;
    QTimer* m_refreshTimer;
    QTimer* m_keepAwakeTimer;

    qint32 m_tickCount = 0;
    HideWord m_hideWord;
    // The lines on screen, the reading behind them and the elements made from it.
    DisplayContent m_content;
    NightWatch m_night;
    std::optional<NightWatch::Look> m_look;
    QColor m_dayText = Qt::white;
    QColor m_dayHint = Qt::green;
    // Where the walk against burn-in has put the band, the strip and the age line.
    QPoint m_walk;
    // What the service answered instead of a reading, for the age line's place.
    QString m_serviceSaid;
    DisplayRequest m_request;

    std::unique_ptr<KeepAwake> m_keepAwake;
    // Held while the window is shown, when keep-awake was on as it was created.
    std::unique_ptr<IdleInhibitor> m_idleInhibitor;
    // Asks for a fresh reading after a resume from suspend or when the network comes back.
    ComebackWatcher* m_comeback;
    // A tick whose previous run is still waiting (fetch, report, pending events) returns at once.
    bool m_inRefreshTick = false;
    bool m_inKeepAwakeTick = false;
    // Fetches of this window that started the transfer themselves and are waiting for it.
    int m_ownFetches = 0;
    // Fetches of this window waiting for a transfer, its own or another's.
    int m_waitingFetches = 0;
    // The window size the last layout was made for.
    QSize m_layoutSize;
    // Ticks from one scheduled fetch to the next.
    FetchPlan m_fetchPlan;
    // Openings under way, and whether a fetch of theirs got no answer.
    int m_openings = 0;
    bool m_openingGotNoAnswer = false;
};

} // namespace nimbrel
