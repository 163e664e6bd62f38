#pragma once

#include "forms.h"
#include "idle_inhibitor.h"
#include "keep_awake.h"

#include <QString>
#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QTimer;

namespace nimbrel {

class ComebackWatcher;
class DrawingBand;
enum class FetchOutcome;
class Guard;
class MeasuringLabel;
class Procedure;
class Transfer;

// The full-screen display: the weather text in large type on one colour, a small hint in the
// top-left corner, a refresh and drawing tick every second and, when asked for at creation, a
// keep-awake tick every 59 seconds. Escape goes back to the settings window and leaves the
// display running hidden; a close request discards it.
//
// Controls (object names): Label1 (the hint), lblData (the measuring label, never left
// visible), Picture1 (the drawing band), Timer1 (1000 ms, running from creation), Timer2
// (59000 ms, running only when "Check4" was 1 as the window was created).
//
// Report lines of the guarded procedures:
//   "Form2.Form_Load"         100 layout (fetches once), 102 icon, 104 stored "Check1" into the
//                             settings window's Check1, 106 Label1 hidden when that box is
//                             ticked and shown otherwise, 108 stored "Check4" into Check4,
//                             110 Timer2 on (and the platform's keep-awake made ready) when
//                             that box is ticked, off otherwise,
//                             112 lblData and Picture1 hidden
//   "Form2.Form_Activate"     100 lblData hidden, 102 Picture1 hidden
//   "Form2.Form_KeyDown"      100 any key but H, I, D, E ends the hide sequence, 102 Escape
//                             (hide the display, show the settings window), 104 H, 106 I,
//                             108 D, 110 E
//   "Form2.Form_QueryUnload"  100 show the settings window, 102 and 104 process pending events
//   "Form2.ReLoadStyle"       100 lblData and Picture1 hidden, 102 first fetch into lblData,
//                             104 lblData font (face, bold, italic, size, strikeout, underline;
//                             each on its own, so one bad value costs only that property),
//                             106 lblData text and background colour, 108 alignment,
//                             110 window background, 112 Picture1 font (as 104), 114 window
//                             background again, Picture1 text colour and background,
//                             116 process events, 118 second fetch into the drawn text,
//                             120 process events, 122 band size, 124 lblData colours again,
//                             126 Label1 colours, 128 hide sequence back to idle
//   "Form2.Timer1_Timer"      100 count the tick, 102 fetch anew when the count reaches the
//                             refresh period (600 ticks, sooner after a failed fetch), 104 process
//                             events, 106 Picture1 visible, 108 clear the band, 110 split the
//                             text into lines, 112 each line ("Combo1" read, x worked out,
//                             line drawn), 114 process events
//   "Form2.Timer2_Timer"      100 the platform's keep-awake made ready (when load could not),
//                             102 nudge (key press and release, system told it is in use),
//                             104 process events
//   "Form2.getWeather"        the lines of the weather text builder
class DisplayWindow : public Form {
    Q_OBJECT
public:
    DisplayWindow();
    ~DisplayWindow() override;

    // Handed over by the settings window's start command.
    QString m_location;
    QString m_unit;

    void reloadStyle();
    QString getWeather();
    // The start command's fetches (the layout's as the window is created, then the restyle's
    // two) make one opening. Once one of them got no answer, the others take that result at
    // once: a dead service costs the person who clicked one wait and one report, not three.
    void beginOpening();
    void endOpening();
    // The display's transfer is the program's one transfer.
    Transfer& transfer();

    void onLoad() override;
    bool closeRequested(CloseReason reason) override;
    void onUnload() override;

    // The layout: a full-width band exactly as tall as the text, centred vertically. Fetches.
    void layOut();
    void onActivate();
    // keyCode is a Qt::Key; a swallowed key comes back as 0.
    void onKeyDown(int& keyCode, Qt::KeyboardModifiers shift);
    void refreshTick();
    void keepAwakeTick();
    // A fetch right now that counts as the timed one, so the ten minutes start again from here:
    // after a resume from suspend or when the network comes back.
    void refreshNow();

    using KeepAwakeFactory = std::function<std::unique_ptr<KeepAwake>()>;
    // Replaces the platform's keep-awake for windows whose first keep-awake tick comes later;
    // an empty factory restores the platform's.
    static void setKeepAwakeFactoryForTesting(KeepAwakeFactory factory);

    // For tests: the refresh counter and the text the tick draws.
    int tickCount() const { return m_tickCount; }
    void setTickCountForTesting(int ticks) { m_tickCount = ticks; }
    const QString& weatherText() const { return m_weatherText; }

    // Covers the screen the settings window is on (the primary screen when it is not loaded),
    // also where no window manager acts on a full-screen request.
    void setVisible(bool visible) override;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void setHideIdle();
    void createKeepAwake();
    void applyFontSettings(Guard& guard, int line, QWidget* target);
    void placeBand();
    void drawTick(Procedure& g);
    // The fetch behind getWeather. A scheduled one (the refresh tick's) reports without holding
    // the tick and does not belong to an opening.
    QString fetchWeather(bool scheduled, FetchOutcome* outcome);
    // Sooner after a failed scheduled fetch, doubling up to the regular period; regular again
    // after an answer.
    void planNextFetch(FetchOutcome outcome);

    QLabel* m_hint;
    MeasuringLabel* m_measuringLabel;
    DrawingBand* m_band;
    QTimer* m_refreshTimer;
    QTimer* m_keepAwakeTimer;

    qint32 m_tickCount = 0;
    bool m_hideStarted = false;
    qint16 m_hideStep = 0;
    QString m_weatherText;

    std::unique_ptr<KeepAwake> m_keepAwake;
    // Held while the window is shown, when keep-awake was on as it was created.
    std::unique_ptr<IdleInhibitor> m_idleInhibitor;
    ComebackWatcher* m_comeback;
    // A tick whose previous run is still waiting (fetch, report, pending events) returns at once.
    bool m_inRefreshTick = false;
    bool m_inKeepAwakeTick = false;
    // Fetches of this window that started the transfer themselves and are waiting for it.
    int m_ownFetches = 0;
    // The window size the last layout was made for.
    QSize m_layoutSize;
    // Ticks from one scheduled fetch to the next, and the failed scheduled fetches in a row.
    int m_refreshTicks;
    int m_failedFetches = 0;
    int m_openings = 0;
    bool m_openingGotNoAnswer = false;
};

} // namespace nimbrel
