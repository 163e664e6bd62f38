#pragma once

#include "displayrequest.h"
#include "forms.h"
#include "idle_inhibitor.h"
#include "keep_awake.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QTimer;

namespace nimbrel {

class ComebackWatcher;
class DrawingBand;
enum class FetchOutcome;
class Guard;
class MeasuringLabel;
class Procedure;
struct ReplyFacts;
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
    using Clock = std::function<QDateTime()>;
    // Replaces the computer's clock that dates readings; an empty clock restores it.
    static void setClockForTesting(Clock clock);

    // For tests: the refresh counter and the text the tick draws.
    int tickCount() const { return m_tickCount; }
    void setTickCountForTesting(int ticks) { m_tickCount = ticks; }
    const QString& weatherText() const { return m_weatherText; }

    // Covers the monitor chosen on the command line, else the one holding most of the settings
    // window (the primary one when it is not loaded), also where no window manager acts on a
    // full-screen request.
    void setVisible(bool visible) override;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // One letter of the word "hide" typed, by its place in the word.
    void typeHideLetter(int place);
    void createKeepAwake();
    void applyFontSettings(Guard& guard, int line, QWidget* target);
    void placeBand();
    void drawTick(Procedure& g);
    // The fetch behind getWeather. A scheduled one (the refresh tick's) reports without holding
    // the tick and does not belong to an opening. Only a fetch whose text is drawn asks the
    // forecast for the day's low and high: one per opening and one per refresh.
    QString fetchWeather(bool scheduled, FetchOutcome* outcome, bool withForecast = false,
                         ReplyFacts* facts = nullptr);
    // Sooner after a failed scheduled fetch, doubling up to the regular period; regular again
    // after an answer, and no sooner than the regular period after a refused key or a blocked
    // account.
    void planNextFetch(FetchOutcome outcome, const ReplyFacts& facts);
    // Puts a fetch's text up as the one to draw, unless it would take a reading's place with
    // nothing after a failed timed fetch.
    void takeFetched(const QString& text, FetchOutcome outcome, const ReplyFacts& facts,
                     bool scheduled);
    // Dates the reading on screen once it is old, and takes its figures down once it is too old.
    void showReadingAge();
    void placeAgeLine();

    QLabel* m_hint;
    // "as of 14:32" in the bottom-left corner while the reading is old; hidden otherwise.
    QLabel* m_ageLine;
    MeasuringLabel* m_measuringLabel;
    DrawingBand* m_band;
    QTimer* m_refreshTimer;
    QTimer* m_keepAwakeTimer;

    qint32 m_tickCount = 0;
    // How much of the word "hide" has been typed so far, in order.
    int m_hideLettersTyped = 0;
    QString m_weatherText;
    // When the reading behind m_weatherText was observed (UTC); invalid when it holds no reading.
    QDateTime m_readingTime;
    enum class ReadingAge { None, Fresh, Old, Expired };
    // What the age line was last made for; empty when the reading changed since.
    std::optional<ReadingAge> m_shownAge;
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
    // Ticks from one scheduled fetch to the next, and the failed scheduled fetches in a row.
    int m_refreshTicks;
    int m_failedFetches = 0;
    // Openings under way, and whether a fetch of theirs got no answer.
    int m_openings = 0;
    bool m_openingGotNoAnswer = false;
};

} // namespace nimbrel
