#include "displaywindow.h"

#include "displaysettings.h"

#include "ageline.h"
#include "apperror.h"
#include "colours.h"
#include "comeback.h"
#include "controls.h"
#include "displayclock.h"
#include "drawingband.h"
#include "fetchplan.h"
#include "forecaststrip.h"
#include "guard.h"
#include "hidekey.h"
#include "hideword.h"
#include "measuringlabel.h"
#include "procedure.h"
#include "programidentity.h"
#include "rounding.h"
#include "settingschoices.h"
#include "settingsschema.h"
#include "startscreen.h"
#include "transfer.h"
#include "weathertext.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace nimbrel {

namespace {

DisplayWindow::KeepAwakeFactory& keepAwakeFactory() {
    static DisplayWindow::KeepAwakeFactory factory;
    return factory;
}

using displayclock::monotonicNow;
using displayclock::now;

// The forecast waits at most this long; the current weather has the transfer's own limit.
constexpr std::chrono::seconds kForecastTimeLimit{15};

void processPendingEvents() {
    QCoreApplication::processEvents();
}

QColor backgroundOf(const QWidget* widget) {
    return widget->palette().color(QPalette::Window);
}

// The settings window's choices. Asking for them loads the window, hidden, when it is not loaded.
SettingsChoices& settingsWindow() {
    SettingsChoices* choices = settingsChoices();
    if (!choices)
        throw AppError(QStringLiteral("Object required"));
    return *choices;
}

} // namespace

DisplayWindow::DisplayWindow()
    : Form(FormId::Display), m_hint(new QLabel(this)), m_measuringLabel(new MeasuringLabel(this)),
      m_band(new DrawingBand(this)), m_strip(new ForecastStrip(this)),
      m_forecastTransfer(new Transfer(this)), m_refreshTimer(new QTimer(this)),
      m_keepAwakeTimer(new QTimer(this)), m_night(this), m_comeback(new ComebackWatcher(this)) {
    // An ordinary top-level window without a frame: a tool window would not get the keyboard.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    // The window takes every key itself; its controls never hold the focus.
    setFocusPolicy(Qt::StrongFocus);
    // A move of the mouse at night wakes the weather as a key does.
    setMouseTracking(true);
    setAutoFillBackground(true);
    setRole(this, QPalette::Window, Qt::black);
    QFont windowFont(QStringLiteral("Arial"), 9);
    windowFont.setBold(true);
    setFont(windowFont);
    // Created at the size it will be shown at, so that showing it is no size change and the
    // layout's fetch at load is the only one.
    if (QScreen* screen = displayScreen(Forms::loaded(FormId::Settings)))
        setGeometry(screen->geometry());
    else
        resize(px(7095), px(3690));

    m_band->setObjectName(QStringLiteral("Picture1"));
    m_band->setFocusPolicy(Qt::NoFocus);
    m_band->setGeometry(twips(2520, 90, 4350, 1650));
    setRole(m_band, QPalette::Window, Qt::black);
    setRole(m_band, QPalette::WindowText, Qt::white);

    m_forecastTransfer->setTimeLimit(kForecastTimeLimit);

    m_ageLine = new AgeLine(this);
    setRole(m_ageLine, QPalette::WindowText, Qt::white);

    m_hint->setObjectName(QStringLiteral("Label1"));
    m_hint->setText(QStringLiteral("Press ESC To Exit. Type 'hide' to hide this text."));
    m_hint->setFocusPolicy(Qt::NoFocus);
    m_hint->setAutoFillBackground(true);
    m_hint->setGeometry(twips(120, 120, 4575, 495));
    m_hint->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setRole(m_hint, QPalette::Window, Qt::black);
    setRole(m_hint, QPalette::WindowText, Qt::white);

    m_measuringLabel->setObjectName(QStringLiteral("lblData"));
    m_measuringLabel->setFocusPolicy(Qt::NoFocus);
    m_measuringLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont dataFont(QStringLiteral("Courier New"), 72);
    dataFont.setBold(true);
    m_measuringLabel->setFont(dataFont);
    m_measuringLabel->setGeometry(twips(1245, 1485, 4350, 1650));
    m_measuringLabel->setMeasuredText(QStringLiteral("12345"));

    m_refreshTimer->setObjectName(QStringLiteral("Timer1"));
    m_refreshTimer->setInterval(1000);
    connect(m_refreshTimer, &QTimer::timeout, this, &DisplayWindow::refreshTick);
    m_keepAwakeTimer->setObjectName(QStringLiteral("Timer2"));
    m_keepAwakeTimer->setInterval(59000);
    connect(m_keepAwakeTimer, &QTimer::timeout, this, &DisplayWindow::keepAwakeTick);
    m_refreshTimer->start();
    connect(m_comeback, &ComebackWatcher::freshReadingWanted, this, &DisplayWindow::refreshNow);
    m_comeback->watchSystem();

    // Moves over the hint and the band leave the pointer alone; the window's own rule is the
    // base class's.
    finishHoverRules();
}

DisplayWindow::~DisplayWindow() = default;

Transfer& DisplayWindow::transfer() {
    return sharedTransfer();
}

void DisplayWindow::setKeepAwakeFactoryForTesting(KeepAwakeFactory factory) {
    keepAwakeFactory() = std::move(factory);
}

void DisplayWindow::setClockForTesting(Clock clock, MonotonicClock monotonic) {
    displayclock::setForTesting(std::move(clock), std::move(monotonic));
}

void DisplayWindow::setRequest(const DisplayRequest& request) {
    if (request.location != m_request.location) {
        m_forecastTransfer->dropBackground();
        m_content.forgetForecast();
    }
    m_request = request;
}

void DisplayWindow::onLoad() {
    Procedure g(this, QStringLiteral("Form2.Form_Load"));
    g(114, [&] { readElementChoices(); });
    g(100, [&] { layOut(); });
    if (g.gone())
        return;
    g(102, [&] { setWindowIcon(applicationIcon()); });
    // The two options are read once, here: changing them later reaches the next window only.
    using Option = SettingsChoices::DisplayOption;
    g(104, [&] { settingsWindow().applyStoredDisplayOption(Option::HideHint); });
    if (g.gone())
        return;
    g(106, [&] { m_hint->setVisible(!settingsWindow().displayOptionChosen(Option::HideHint)); });
    g(108, [&] { settingsWindow().applyStoredDisplayOption(Option::KeepAwake); });
    if (g.gone())
        return;
    g(110, [&] {
        if (settingsWindow().displayOptionChosen(Option::KeepAwake)) {
            m_keepAwakeTimer->start();
            createKeepAwake();
        } else {
            m_keepAwakeTimer->stop();
        }
    });
    g(112, [&] {
        m_measuringLabel->hide();
        m_band->hide();
    });
}

void DisplayWindow::layOut() {
    // The layout has no numbered steps, so no report name either.
    const Procedure layout(this, QString());
    if (layout.gone())
        return;
    m_layoutSize = size();
    const double innerHeight = height();
    m_measuringLabel->setGeometry(
        0, roundHalfEvenToInt(innerHeight / 2 - m_measuringLabel->height() / 2.0), width(),
        m_measuringLabel->height());
    m_measuringLabel->hide();
    placeAgeLine();
    // The band keeps what it shows while the fetch waits; the next tick redraws it.
    const Fetched fetched = fetchWeather(false);
    if (layout.gone())
        return;
    m_measuringLabel->setMeasuredText(
        m_content.measuredText(fetched.lines, fetched.weather.outcome == FetchOutcome::Reading));
    placeBand();
}

void DisplayWindow::placeBand() {
    // The band stays clear of the hint's corner, above as below so that it stays centred; what
    // does not fit the rest is drawn smaller (DrawingBand::holdLines). With the strip, the band
    // and the strip are centred together.
    const bool hintShown = !m_hint->isHidden() && !m_hint->size().isEmpty();
    const int hintClearance = hintShown ? m_hint->geometry().bottom() + 1 : 0;
    // The age line's corner is kept free as well, whether it shows or not, so that a reading
    // growing old never moves the weather.
    const int ageClearance = m_ageLine->height() + m_hint->y();
    // The walk against burn-in needs room on every side, so that nothing is ever cut off.
    const QPoint walkRoom = m_night.walkRoom(size());
    const int clearance = std::max(hintClearance, ageClearance) + walkRoom.y();
    const int room = std::max(0, height() - 2 * clearance);
    m_strip->setColumns(m_content.stripColumns());
    const auto [stripHeight, gap] = m_strip->fitUnder(m_band->font(), room);
    const int bandHeight =
        std::min(m_measuringLabel->height(), std::max(0, room - stripHeight - gap));
    const int top =
        roundHalfEvenToInt(height() / 2.0 - (bandHeight + gap + stripHeight) / 2.0) + m_walk.y();
    const int left = walkRoom.x() + m_walk.x();
    const int bandWidth = width() - 2 * walkRoom.x();
    m_band->setGeometry(left, top, bandWidth, bandHeight);
    m_strip->setGeometry(left, top + bandHeight + gap, bandWidth, stripHeight);
    m_strip->setVisible(stripHeight > 0);
}

void DisplayWindow::placeAgeLine() {
    // The hint's margin, in the corner below the band that the hint leaves free, and the room of
    // the walk against burn-in.
    const QPoint walkRoom = m_night.walkRoom(size());
    m_ageLine->place(size(), QPoint(m_hint->x() + walkRoom.x() + m_walk.x(),
                                    height() - m_hint->y() - walkRoom.y() + m_walk.y()));
}

void DisplayWindow::resizeEvent(QResizeEvent* event) {
    Form::resizeEvent(event);
    // Qt delivers a resize held back while the window was hidden when it is first shown; only a
    // real change of size asks for a new layout (and its fetch).
    if (event->size() == m_layoutSize)
        return;
    // The layout has no report of its own, and nothing may leave an event handler.
    try {
        layOut();
    } catch (...) {
    }
}

void DisplayWindow::setVisible(bool visible) {
    if (visible && isHidden()) {
        if (QScreen* screen = displayScreen(Forms::loaded(FormId::Settings))) {
            setScreen(screen);
            setGeometry(screen->geometry());
        }
        setWindowState((windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized)) |
                       Qt::WindowFullScreen);
    }
    Form::setVisible(visible);
    if (m_idleInhibitor) {
        if (visible)
            m_idleInhibitor->hold();
        else
            m_idleInhibitor->release();
    }
}

bool DisplayWindow::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
        m_night.noticeUser();
        break;
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        // The keep-awake's own right Shift is no one at the screen.
        if (key->key() != Qt::Key_Shift)
            m_night.noticeUser();
        int keyCode = displayKeyCode(*key);
        onKeyDown(keyCode, key->modifiers());
        if (keyCode == 0) {
            event->accept();
            return true;
        }
        break;
    }
    case QEvent::WindowActivate:
        onActivate();
        break;
    default:
        break;
    }
    return Form::event(event);
}

void DisplayWindow::onActivate() {
    Procedure g(this, QStringLiteral("Form2.Form_Activate"));
    g(100, [&] { m_measuringLabel->hide(); });
    // While a fetch waits no tick can draw the band again, so it keeps what it shows.
    g(102, [&] {
        if (m_waitingFetches == 0)
            m_band->hide();
    });
}

void DisplayWindow::onKeyDown(int& keyCode, Qt::KeyboardModifiers) {
    Procedure g(this, QStringLiteral("Form2.Form_KeyDown"));
    const int key = keyCode;
    const int letterLine = HideWord::lineOf(key);
    g(100, [&] {
        if (letterLine == 0)
            m_hideWord.reset();
    });
    if (key == Qt::Key_Escape) {
        g(102, [&] { hide(); });
        g(102, [] { Forms::show(FormId::Settings); });
    } else if (letterLine != 0) {
        g(letterLine, [&] {
            if (m_hideWord.type(key) && m_hint->width() != 0 && m_hint->height() != 0 &&
                !isMinimized())
                m_hint->resize(0, 0);
        });
        // The word's letters go no further, whether they came in turn or not.
        keyCode = 0;
    }
}

bool DisplayWindow::closeRequested(CloseReason) {
    Procedure g(this, QStringLiteral("Form2.Form_QueryUnload"));
    g(100, [] { Forms::show(FormId::Settings); });
    g(102, [] { processPendingEvents(); });
    g(104, [] { processPendingEvents(); });
    return true;
}

void DisplayWindow::onUnload() {
    m_refreshTimer->stop();
    m_keepAwakeTimer->stop();
    m_idleInhibitor.reset();
    // Our fetch must not keep waiting for a window that is gone. A transfer that someone else
    // started (the key test) is left to finish.
    if (m_ownFetches > 0)
        transfer().abort();
    m_forecastTransfer->dropBackground();
}

QString DisplayWindow::getWeather() {
    return fetchWeather(false).lines.join(QLatin1String("\r\n"));
}

void DisplayWindow::readElementChoices() {
    m_content.choose(storedElementChoices());
    m_night.choose(storedNightChoices());
}

bool DisplayWindow::nightTick() {
    const QDateTime at = now();
    const NightWatch::Step step =
        m_night.tick(at, m_content.readingAge().observedOn(at, monotonicNow()));
    if (step.pauseKeepAwake) {
        m_keepAwakeTimer->stop();
        if (m_idleInhibitor)
            m_idleInhibitor->release();
    }
    // Keep-awake was chosen when the window made its inhibitor.
    if (step.resumeKeepAwake && m_idleInhibitor) {
        m_keepAwakeTimer->start();
        if (isVisible())
            m_idleInhibitor->hold();
    }
    applyLook();
    const QPoint walk = m_night.walkOffset(at, size());
    if (walk != m_walk) {
        m_walk = walk;
        placeBand();
        placeAgeLine();
    }
    return step.fetchNow;
}

void DisplayWindow::applyLook() {
    const NightWatch::Look look = m_night.look();
    if (m_look == look)
        return;
    m_look = look;
    const QColor background = backgroundOf(this);
    const NightWatch::Colours colours = NightWatch::colours(look, m_dayText, m_dayHint, background);
    setRole(m_band, QPalette::WindowText, colours.text);
    m_strip->setColours(colours.text, background);
    setRole(m_ageLine, QPalette::WindowText, colours.ageLine);
    setRole(m_hint, QPalette::WindowText, colours.hint);
}

void DisplayWindow::holdReportsAtNight(Guard& guard) {
    guard.reportOnlyWhen([this](const QString&) { return !m_night.holdsReports(); });
}

void DisplayWindow::beginOpening() {
    ++m_openings;
}

void DisplayWindow::endOpening() {
    if (--m_openings > 0)
        return;
    m_openings = 0;
    // A display opened while the service cannot be reached (a wall display starting before its
    // network) tries again after the first short wait instead of showing "--" for ten minutes.
    if (m_openingGotNoAnswer) {
        m_fetchPlan.after(FetchOutcome::NoAnswer, ReplyFacts{});
        // Counted from now, when the failure has been waited for and reported, not from the
        // click: the ticks went on during that wait.
        m_tickCount = 0;
    }
    m_openingGotNoAnswer = false;
}

DisplayWindow::Fetched DisplayWindow::fetchWeather(bool scheduled, bool withForecast) {
    Fetched fetched;
    Procedure g(this, QStringLiteral("Form2.getWeather"));
    if (g.gone())
        return fetched;
    if (scheduled) {
        g.setReportMode(ReportMode::Modeless);
        holdReportsAtNight(g.guard());
    }
    WeatherQuery query = queryFor(m_request);
    query.withForecast = withForecast;
    fetched.choices = LineChoices{false, query.tempType, query.details, {}, {}};
    if (g.gone())
        return fetched;
    const bool ofOpening = m_openings > 0 && !scheduled;
    if (ofOpening && m_openingGotNoAnswer) {
        // What the failed fetch would have been built from: no reply.
        fetched.weather.outcome = FetchOutcome::NoAnswer;
        fetched.lines = linesWithoutReply(g.guard(), query);
        return fetched;
    }
    Transfer& shared = transfer();
    const bool own = !shared.isExecuting();
    if (own)
        ++m_ownFetches;
    ++m_waitingFetches;
    fetched.weather = fetchCurrentWeather(g.guard(), shared, query, storedKey);
    --m_waitingFetches;
    if (own)
        --m_ownFetches;
    const FetchOutcome result = fetched.weather.outcome;
    if (ofOpening && m_openings > 0 && result == FetchOutcome::NoAnswer)
        m_openingGotNoAnswer = true;
    // The service answers again: a report of a failed fetch still up tells nothing true now.
    if (result == FetchOutcome::Reading || result == FetchOutcome::Answer)
        closeReports(g.reportName(), 102);
    fetched.choices.keyStored = fetched.weather.keyStored;
    fetched.lines = m_content.linesFor(fetched.weather, fetched.choices, now());
    return fetched;
}

void DisplayWindow::reloadStyle() {
    Procedure g(this, QStringLiteral("Form2.ReLoadStyle"));
    if (g.gone())
        return;
    g(130, [&] { readElementChoices(); });
    using settings::Key;
    using settings::User;
    const auto fontColour = [](User user) { return storedColour(Key::FontColor, user); };
    const auto backgroundColour = [] { return storedColour(Key::BackgroundColor, User::Display); };

    // The band keeps what it shows while the fetches wait; the next tick redraws it.
    g(100, [&] { m_measuringLabel->hide(); });
    g(102, [&] {
        const Fetched fetched = fetchWeather(false);
        if (!g.gone())
            m_measuringLabel->setMeasuredText(m_content.measuredText(
                fetched.lines, fetched.weather.outcome == FetchOutcome::Reading));
    });
    if (g.gone())
        return;
    applyStoredFont(g.guard(), 104, m_measuringLabel);
    g(106, [&] { setRole(m_measuringLabel, QPalette::WindowText, fontColour(User::Display)); });
    g(106, [&] { setRole(m_measuringLabel, QPalette::Window, backgroundColour()); });
    g(108, [&] {
        const bool centred = settings::whole(Key::Alignment, User::Display) == 1;
        m_measuringLabel->setAlignment((centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
    });
    g(110, [&] { setRole(this, QPalette::Window, backgroundColour()); });
    applyStoredFont(g.guard(), 112, m_band);
    g(114, [&] { setRole(this, QPalette::Window, backgroundColour()); });
    g(114, [&] { setRole(m_band, QPalette::WindowText, fontColour(User::Display)); });
    g(114, [&] { setRole(m_band, QPalette::Window, backgroundOf(this)); });
    // The strip follows the band's colours as they now stand, without reading them again.
    g(114, [&] {
        m_strip->setColours(m_band->palette().color(QPalette::WindowText), backgroundOf(this));
    });
    g(116, [] { processPendingEvents(); });
    if (g.gone())
        return;
    g(118, [&] {
        const Fetched fetched = fetchWeather(false, true);
        if (!g.gone())
            takeFetched(fetched, false);
    });
    if (g.gone())
        return;
    g(120, [] { processPendingEvents(); });
    if (g.gone())
        return;
    g(122, [&] { placeBand(); });
    g(124, [&] { setRole(m_measuringLabel, QPalette::Window, backgroundOf(this)); });
    g(124, [&] { setRole(m_measuringLabel, QPalette::WindowText, fontColour(User::Display)); });
    // The age line is as secondary as the hint, so it takes the hint's colour.
    g(126, [&] {
        const QColor hintColour = fontColour(User::ExitHint);
        setRole(m_hint, QPalette::WindowText, hintColour);
        setRole(m_ageLine, QPalette::WindowText, hintColour);
    });
    g(126, [&] { setRole(m_hint, QPalette::Window, backgroundColour()); });
    g(128, [&] { m_hideWord.reset(); });
    // The day's colours, which the night's look starts from.
    m_dayText = m_band->palette().color(QPalette::WindowText);
    m_dayHint = m_hint->palette().color(QPalette::WindowText);
    m_look.reset();
    applyLook();
}

void DisplayWindow::refreshTick() {
    if (m_inRefreshTick)
        return;
    Procedure g(this, QStringLiteral("Form2.Timer1_Timer"));
    if (g.gone())
        return;
    m_inRefreshTick = true;
    // Nobody may be there to press OK; the display goes on refreshing meanwhile.
    g.setReportMode(ReportMode::Modeless);
    holdReportsAtNight(g.guard());
    drawTick(g);
    if (g.window())
        m_inRefreshTick = false;
}

void DisplayWindow::drawTick(Procedure& g) {
    g(100, [&] {
        if (m_tickCount == std::numeric_limits<qint32>::max())
            throw AppError::overflow();
        ++m_tickCount;
    });
    const bool nightFetch = g(118, [&] { return nightTick(); }).value_or(false);
    if ((m_tickCount >= m_fetchPlan.ticks() && m_night.fetchesAllowed()) || nightFetch) {
        // What the band showed stays up while the fetch waits (after an activation, say).
        g(106, [&] {
            if (m_band->isHidden())
                m_band->show();
        });
        g(102, [] { processPendingEvents(); });
        if (g.gone())
            return;
        FetchOutcome outcome = FetchOutcome::Reading;
        ReplyFacts facts;
        g(102, [&] {
            const Fetched fetched = fetchWeather(true, true);
            outcome = fetched.weather.outcome;
            facts = fetched.weather.facts;
            if (!g.gone())
                takeFetched(fetched, true);
        });
        if (g.gone())
            return;
        g(102, [] { processPendingEvents(); });
        if (g.gone())
            return;
        g(102, [&] { m_tickCount = 0; });
        m_fetchPlan.after(outcome, facts);
    }
    g(116, [&] { showReadingAge(); });
    if (g.gone())
        return;
    g(104, [] { processPendingEvents(); });
    if (g.gone())
        return;
    g(106, [&] {
        if (m_band->isHidden())
            m_band->show();
    });

    BandContent content;
    g(110, [&] {
        // The strip's columns move on with the hours and days; its height may change with them.
        if (m_content.advance(now()) && m_strip->columns() != m_content.stripColumns())
            placeBand();
        content = m_content.bandContent();
    });
    const QStringList& lines = content.lines;
    m_band->holdLines(lines.size());
    BandDrawing drawing;
    g(108, [&] { drawing = m_band->blankDrawing(); });
    const int lineHeight = m_band->lineHeight();
    int top = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines.at(i);
        const bool withSymbol = i == content.symbolLine;
        int x = 0;
        const FittedLine fitted =
            withSymbol ? m_band->fittedLineWithSymbol(line) : m_band->fittedLine(line);
        // Read for every line, so a change of alignment shows from the next line on. A value
        // that cannot be read is reported and the line drawn from the left edge.
        g(112, [&] {
            if (settings::whole(settings::Key::Alignment, settings::User::Display) == 1)
                x = centredLineX(drawing.size.width(), fitted.width);
        });
        // An empty line only moves the drawing position down.
        if (withSymbol)
            drawing.lines.append(BandLine{line, x, top, fitted.font, content.symbol});
        else if (!line.isEmpty())
            drawing.lines.append(BandLine{line, x, top, fitted.font});
        top += lineHeight;
    }
    g(112, [&] { m_band->present(std::move(drawing)); });
    g(114, [] { processPendingEvents(); });
}

void DisplayWindow::takeFetched(const Fetched& fetched, bool scheduled) {
    const FetchOutcome outcome = fetched.weather.outcome;
    if (outcome == FetchOutcome::Reading) {
        const ReplyFacts& facts = fetched.weather.facts;
        m_content.showReading(fetched.lines, fetched.weather, fetched.choices,
                              ReadingAge::arrived(fetched.weather.reply.reading.observedAt,
                                                  facts.sentAt, now(), monotonicNow()));
        m_serviceSaid.clear();
        m_ageLine->forget();
        if (!fetched.weather.forecastAddress.isEmpty())
            askForecast(
                *m_forecastTransfer, fetched.weather.forecastAddress,
                // The next tick draws the lines it changed and places its strip.
                [this](const Forecast& forecast) { m_content.takeForecast(forecast, now()); });
        return;
    }
    // A wall display left alone would otherwise trade a good reading for "--" at the first
    // hiccup; it keeps the reading, and the age line says how old it gets.
    if (scheduled && outcome != FetchOutcome::Answer && m_content.readingAge().isValid())
        return;
    m_forecastTransfer->dropBackground();
    m_content.showWithoutReading(fetched.lines, fetched.choices.tempType, ReadingAge());
    // The opening's refusal or block sets the wait as a timed fetch's would.
    if (!scheduled && FetchPlan::isRefusal(fetched.weather.facts)) {
        m_fetchPlan.after(outcome, fetched.weather.facts);
        m_tickCount = 0;
    }
    // "--" with no word why would leave the wall's owner guessing.
    const ReplyFacts& facts = fetched.weather.facts;
    m_serviceSaid = outcome == FetchOutcome::NoReading && facts.status >= 400
                        ? QStringLiteral("The weather service answered: ") + facts.statusLine
                        : QString();
    m_ageLine->forget();
}

void DisplayWindow::showReadingAge() {
    if (!m_ageLine->follow(m_content.readingAge(), now(), monotonicNow(), m_serviceSaid))
        return;
    Procedure g(this, QStringLiteral("Form2.getWeather"));
    g.setReportMode(ReportMode::Modeless);
    holdReportsAtNight(g.guard());
    const WeatherQuery query = queryFor(m_request);
    if (g.gone())
        return;
    m_forecastTransfer->dropBackground();
    m_content.expire(linesWithoutReply(g.guard(), query), query.tempType);
}

// Made when the window is created with keep-awake on, so its set-up (a connection of its own to
// the X server) is not paid by a display that has been up for days; a tick makes it only if that
// failed.
void DisplayWindow::createKeepAwake() {
    if (m_keepAwake)
        return;
    const KeepAwakeFactory& factory = keepAwakeFactory();
    m_keepAwake = factory ? factory() : createPlatformKeepAwake();
    if (!m_idleInhibitor) {
        m_idleInhibitor = createPlatformIdleInhibitor();
        if (isVisible())
            m_idleInhibitor->hold();
    }
}

void DisplayWindow::refreshNow() {
    if (m_fetchPlan.waitingOutRefusal())
        return;
    // A tick under way fetches as soon as it can; otherwise this is the tick that fetches.
    m_tickCount = m_fetchPlan.ticks() - 1;
    refreshTick();
}

void DisplayWindow::keepAwakeTick() {
    if (m_inKeepAwakeTick)
        return;
    Procedure g(this, QStringLiteral("Form2.Timer2_Timer"));
    if (g.gone())
        return;
    m_inKeepAwakeTick = true;
    g.setReportMode(ReportMode::Modeless);
    holdReportsAtNight(g.guard());
    g(100, [&] { createKeepAwake(); });
    g(102, [&] {
        if (m_keepAwake)
            m_keepAwake->nudge();
    });
    g(104, [] { processPendingEvents(); });
    if (g.window())
        m_inKeepAwakeTick = false;
}

} // namespace nimbrel
