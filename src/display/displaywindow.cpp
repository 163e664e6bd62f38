#include "displaywindow.h"

#include "apperror.h"
#include "colours.h"
#include "comeback.h"
#include "controls.h"
#include "drawingband.h"
#include "guard.h"
#include "hidekey.h"
#include "measuringlabel.h"
#include "procedure.h"
#include "refreshschedule.h"
#include "rounding.h"
#include "settingschoices.h"
#include "settingsschema.h"
#include "styling.h"
#include "transfer.h"
#include "weatherrequest.h"
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

// Far beyond any screen; the font command stops at 250 anyway.
constexpr qint16 kLargestFontSize = 2048;

DisplayWindow::KeepAwakeFactory& keepAwakeFactory() {
    static DisplayWindow::KeepAwakeFactory factory;
    return factory;
}

void processPendingEvents() {
    QCoreApplication::processEvents();
}

QColor storedColour(settings::Key key, settings::User user) {
    return colourFromNumber(settings::colour(key, user));
}

QColor backgroundOf(const QWidget* widget) {
    return widget->palette().color(QPalette::Window);
}

// The settings window's choices; referring to them loads the window (hidden) when it is not.
SettingsChoices& settingsWindow() {
    SettingsChoices* choices = settingsChoices();
    if (!choices)
        throw AppError(QStringLiteral("Object required"));
    return *choices;
}

// The detail boxes as they stand. Should the settings window offer none, every line is left out.
DetailChoices detailChoices() {
    const SettingsChoices* settings = settingsChoices();
    const auto chosen = [settings](SettingsChoices::Detail detail) {
        return settings != nullptr && settings->detailChosen(detail);
    };
    DetailChoices details;
    details.location = chosen(SettingsChoices::Detail::Location);
    details.current = chosen(SettingsChoices::Detail::Current);
    details.summary = chosen(SettingsChoices::Detail::Summary);
    details.high = chosen(SettingsChoices::Detail::High);
    details.low = chosen(SettingsChoices::Detail::Low);
    return details;
}

} // namespace

DisplayWindow::DisplayWindow()
    : Form(FormId::Display), m_label1(new QLabel(this)), m_lblData(new MeasuringLabel(this)),
      m_picture1(new DrawingBand(this)), m_timer1(new QTimer(this)), m_timer2(new QTimer(this)),
      m_comeback(new ComebackWatcher(this)), m_refreshTicks(refreshSchedule().regularTicks) {
    // An ordinary top-level window without a frame: a tool window would not get the keyboard.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    // The window takes every key itself; its controls never hold the focus.
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    setRole(this, QPalette::Window, Qt::black);
    QFont windowFont(QStringLiteral("Arial"), 9);
    windowFont.setBold(true);
    setFont(windowFont);
    // Created at the size it will be shown at, so that showing it is no size change and the
    // layout's fetch at load is the only one.
    const Form* settings = Forms::loaded(FormId::Settings);
    if (QScreen* screen = settings ? settings->screen() : QGuiApplication::primaryScreen())
        setGeometry(screen->geometry());
    else
        resize(px(7095), px(3690));

    m_picture1->setObjectName(QStringLiteral("Picture1"));
    m_picture1->setFocusPolicy(Qt::NoFocus);
    m_picture1->setGeometry(twips(2520, 90, 4350, 1650));
    setRole(m_picture1, QPalette::Window, Qt::black);
    setRole(m_picture1, QPalette::WindowText, Qt::white);

    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setText(QStringLiteral("Press ESC To Exit. Type 'hide' to hide this text."));
    m_label1->setFocusPolicy(Qt::NoFocus);
    m_label1->setAutoFillBackground(true);
    m_label1->setGeometry(twips(120, 120, 4575, 495));
    m_label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setRole(m_label1, QPalette::Window, Qt::black);
    setRole(m_label1, QPalette::WindowText, Qt::white);

    m_lblData->setObjectName(QStringLiteral("lblData"));
    m_lblData->setFocusPolicy(Qt::NoFocus);
    m_lblData->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont dataFont(QStringLiteral("Courier New"), 72);
    dataFont.setBold(true);
    m_lblData->setFont(dataFont);
    m_lblData->setGeometry(twips(1245, 1485, 4350, 1650));
    m_lblData->setMeasuredText(QStringLiteral("12345"));

    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(1000);
    connect(m_timer1, &QTimer::timeout, this, &DisplayWindow::refreshTick);
    m_timer2->setObjectName(QStringLiteral("Timer2"));
    m_timer2->setInterval(59000);
    connect(m_timer2, &QTimer::timeout, this, &DisplayWindow::keepAwakeTick);
    m_timer1->start();
    connect(m_comeback, &ComebackWatcher::freshReadingWanted, this, &DisplayWindow::refreshNow);
    m_comeback->watchSystem();

    // Moves over the hint and the band leave the pointer alone; the window's own rule is the
    // base class's.
    finishHoverRules();
}

DisplayWindow::~DisplayWindow() = default;

Transfer& DisplayWindow::Inet1() {
    return sharedTransfer();
}

void DisplayWindow::setKeepAwakeFactoryForTesting(KeepAwakeFactory factory) {
    keepAwakeFactory() = std::move(factory);
}

void DisplayWindow::setHideIdle() {
    mHideStarted = false;
    mHideStep = 0;
}

void DisplayWindow::onLoad() {
    Procedure g(this, QStringLiteral("Form2.Form_Load"));
    g(100, [&] { layOut(); });
    if (g.gone())
        return;
    g(102, [&] { setWindowIcon(applicationIcon()); });
    g(104, [&] {
        settingsWindow().setDisplayOption(
            SettingsChoices::DisplayOption::HideHint,
            settings::whole(settings::Key::Check1, settings::User::Display));
    });
    if (g.gone())
        return;
    g(106, [&] {
        m_label1->setVisible(
            !settingsWindow().displayOption(SettingsChoices::DisplayOption::HideHint));
    });
    g(108, [&] {
        settingsWindow().setDisplayOption(
            SettingsChoices::DisplayOption::KeepAwake,
            settings::whole(settings::Key::Check4, settings::User::Display));
    });
    if (g.gone())
        return;
    g(110, [&] {
        if (settingsWindow().displayOption(SettingsChoices::DisplayOption::KeepAwake)) {
            m_timer2->start();
            createKeepAwake();
        } else {
            m_timer2->stop();
        }
    });
    g(112, [&] {
        m_lblData->hide();
        m_picture1->hide();
    });
}

void DisplayWindow::layOut() {
    // The layout has no numbered steps, so no report name either.
    const Procedure layout(this, QString());
    if (layout.gone())
        return;
    m_layoutSize = size();
    const double innerHeight = height();
    m_lblData->setGeometry(0, roundHalfEvenToInt(innerHeight / 2 - m_lblData->height() / 2.0),
                           width(), m_lblData->height());
    m_lblData->hide();
    m_picture1->hide();
    const QString text = getWeather();
    if (layout.gone())
        return;
    m_lblData->setMeasuredText(text);
    placeBand();
}

void DisplayWindow::placeBand() {
    const int bandHeight = m_lblData->height();
    m_picture1->setGeometry(0, roundHalfEvenToInt(height() / 2.0 - bandHeight / 2.0), width(),
                            bandHeight);
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
        const Form* settings = Forms::loaded(FormId::Settings);
        QScreen* screen = settings ? settings->screen() : QGuiApplication::primaryScreen();
        if (screen) {
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
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
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
    g(100, [&] { m_lblData->hide(); });
    g(102, [&] { m_picture1->hide(); });
}

void DisplayWindow::onKeyDown(int& keyCode, Qt::KeyboardModifiers) {
    Procedure g(this, QStringLiteral("Form2.Form_KeyDown"));
    const int key = keyCode;
    g(100, [&] {
        if (key != Qt::Key_H && key != Qt::Key_I && key != Qt::Key_D && key != Qt::Key_E)
            setHideIdle();
    });
    switch (key) {
    case Qt::Key_Escape:
        g(102, [&] { hide(); });
        g(102, [] { Forms::show(FormId::Settings); });
        break;
    case Qt::Key_H:
        g(104, [&] {
            if (!mHideStarted && mHideStep == 0) {
                mHideStarted = true;
                mHideStep = 1;
            } else {
                setHideIdle();
            }
        });
        keyCode = 0;
        break;
    case Qt::Key_I:
        g(106, [&] {
            if (mHideStarted && mHideStep == 1)
                mHideStep = 2;
            else
                setHideIdle();
        });
        keyCode = 0;
        break;
    case Qt::Key_D:
        g(108, [&] {
            if (mHideStarted && mHideStep == 2)
                mHideStep = 3;
            else
                setHideIdle();
        });
        keyCode = 0;
        break;
    case Qt::Key_E:
        g(110, [&] {
            // An out-of-order E leaves the progress as it is.
            if (!(mHideStarted && mHideStep == 3))
                return;
            if (m_label1->width() != 0 && m_label1->height() != 0 && !isMinimized())
                m_label1->resize(0, 0);
            setHideIdle();
        });
        keyCode = 0;
        break;
    default:
        break;
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
    m_timer1->stop();
    m_timer2->stop();
    m_idleInhibitor.reset();
    // Our fetch must not keep waiting for a window that is gone. A transfer that someone else
    // started (the key test) is left to finish.
    if (m_ownFetches > 0)
        Inet1().abort();
}

QString DisplayWindow::getWeather() {
    return fetchWeather(false, nullptr);
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
    if (m_openingGotNoAnswer)
        planNextFetch(FetchOutcome::NoAnswer);
    m_openingGotNoAnswer = false;
}

QString DisplayWindow::fetchWeather(bool scheduled, FetchOutcome* outcome) {
    Procedure g(this, QStringLiteral("Form2.getWeather"));
    if (g.gone())
        return {};
    if (scheduled)
        g.setReportMode(ReportMode::Modeless);
    WeatherQuery query;
    query.baseUrl = serviceBaseUrl();
    query.location = mLocation;
    query.tempType = mTempType;
    query.details = detailChoices();
    // Loading the settings window for its boxes lets events run.
    if (g.gone())
        return {};
    const auto readKey = [] {
        return settings::text(settings::Key::APIKey, settings::User::Display);
    };
    const bool ofOpening = m_openings > 0 && !scheduled;
    if (ofOpening && m_openingGotNoAnswer) {
        // What the failed fetch would have been built from: no reply.
        QString key;
        g(108, [&] { key = readKey(); });
        if (outcome)
            *outcome = FetchOutcome::NoAnswer;
        return weatherTextFromReply(g.guard(), QString(), key, query.tempType, query.details);
    }
    Transfer& transfer = Inet1();
    const bool own = !transfer.StillExecuting();
    if (own)
        ++m_ownFetches;
    FetchOutcome result = FetchOutcome::Busy;
    QString text = buildWeatherText(g.guard(), transfer, query, readKey, &result);
    if (own)
        --m_ownFetches;
    if (ofOpening && m_openings > 0 && result == FetchOutcome::NoAnswer)
        m_openingGotNoAnswer = true;
    // The service answers again: a report of a failed fetch still up tells nothing true now.
    if (result == FetchOutcome::Reading || result == FetchOutcome::Answer)
        closeReports(g.reportName(), 102);
    if (outcome)
        *outcome = result;
    return text;
}

void DisplayWindow::planNextFetch(FetchOutcome outcome) {
    const RefreshSchedule schedule = refreshSchedule();
    if (outcome == FetchOutcome::Reading || outcome == FetchOutcome::Answer) {
        m_failedFetches = 0;
        m_refreshTicks = schedule.regularTicks;
        return;
    }
    m_failedFetches = std::min(m_failedFetches + 1, 31);
    qint64 wait = schedule.firstRetryTicks;
    for (int i = 1; i < m_failedFetches && wait < schedule.regularTicks; ++i)
        wait *= 2;
    m_refreshTicks = int(std::min<qint64>(wait, schedule.regularTicks));
}

void DisplayWindow::applyFontSettings(Guard& g, int line, QWidget* target) {
    // One property at a time: a bad stored value costs that property only.
    const auto change = [&](const auto& edit) {
        g(line, [&] {
            QFont font = target->font();
            edit(font);
            target->setFont(font);
        });
    };
    using settings::Key;
    constexpr auto user = settings::User::Display;
    change([](QFont& f) { f.setFamily(settings::text(Key::FontName, user)); });
    change([](QFont& f) { f.setBold(settings::boolean(Key::FontBold, user)); });
    change([](QFont& f) { f.setItalic(settings::boolean(Key::FontItalic, user)); });
    change([](QFont& f) {
        const qint16 size = settings::whole(Key::FontSize, user);
        if (size <= 0 || size > kLargestFontSize)
            throw AppError::invalidPropertyValue();
        f.setPointSize(size);
    });
    change([](QFont& f) { f.setStrikeOut(settings::boolean(Key::FontStrikeThru, user)); });
    change([](QFont& f) { f.setUnderline(settings::boolean(Key::FontUnderLine, user)); });
}

void DisplayWindow::reloadStyle() {
    Procedure g(this, QStringLiteral("Form2.ReLoadStyle"));
    if (g.gone())
        return;
    using settings::Key;
    using settings::User;
    const auto fontColour = [](User user) { return storedColour(Key::FontColor, user); };
    const auto backgroundColour = [] { return storedColour(Key::BackgroundColor, User::Display); };

    g(100, [&] {
        m_lblData->hide();
        m_picture1->hide();
    });
    g(102, [&] {
        const QString text = getWeather();
        if (!g.gone())
            m_lblData->setMeasuredText(text);
    });
    if (g.gone())
        return;
    applyFontSettings(g.guard(), 104, m_lblData);
    g(106, [&] { setRole(m_lblData, QPalette::WindowText, fontColour(User::Display)); });
    g(106, [&] { setRole(m_lblData, QPalette::Window, backgroundColour()); });
    g(108, [&] {
        const bool centred = settings::whole(Key::Combo1, User::Display) == 1;
        m_lblData->setAlignment((centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
    });
    g(110, [&] { setRole(this, QPalette::Window, backgroundColour()); });
    applyFontSettings(g.guard(), 112, m_picture1);
    g(114, [&] { setRole(this, QPalette::Window, backgroundColour()); });
    g(114, [&] { setRole(m_picture1, QPalette::WindowText, fontColour(User::Display)); });
    g(114, [&] { setRole(m_picture1, QPalette::Window, backgroundOf(this)); });
    g(116, [] { processPendingEvents(); });
    if (g.gone())
        return;
    g(118, [&] {
        const QString text = getWeather();
        if (!g.gone())
            mWeatherText = text;
    });
    if (g.gone())
        return;
    g(120, [] { processPendingEvents(); });
    if (g.gone())
        return;
    g(122, [&] { placeBand(); });
    g(124, [&] { setRole(m_lblData, QPalette::Window, backgroundOf(this)); });
    g(124, [&] { setRole(m_lblData, QPalette::WindowText, fontColour(User::Display)); });
    g(126, [&] { setRole(m_label1, QPalette::WindowText, fontColour(User::ExitHint)); });
    g(126, [&] { setRole(m_label1, QPalette::Window, backgroundColour()); });
    g(128, [&] { setHideIdle(); });
}

void DisplayWindow::refreshTick() {
    if (m_inTimer1)
        return;
    Procedure g(this, QStringLiteral("Form2.Timer1_Timer"));
    if (g.gone())
        return;
    m_inTimer1 = true;
    // Nobody may be there to press OK; the display goes on refreshing meanwhile.
    g.setReportMode(ReportMode::Modeless);
    drawTick(g);
    if (g.window())
        m_inTimer1 = false;
}

void DisplayWindow::drawTick(Procedure& g) {
    g(100, [&] {
        if (mTickCount == std::numeric_limits<qint32>::max())
            throw AppError::overflow();
        ++mTickCount;
    });
    if (mTickCount >= m_refreshTicks) {
        g(102, [] { processPendingEvents(); });
        if (g.gone())
            return;
        FetchOutcome outcome = FetchOutcome::Reading;
        g(102, [&] {
            const QString text = fetchWeather(true, &outcome);
            if (!g.gone())
                mWeatherText = text;
        });
        if (g.gone())
            return;
        g(102, [] { processPendingEvents(); });
        if (g.gone())
            return;
        g(102, [&] { mTickCount = 0; });
        planNextFetch(outcome);
    }
    g(104, [] { processPendingEvents(); });
    if (g.gone())
        return;
    g(106, [&] {
        if (m_picture1->isHidden())
            m_picture1->show();
    });

    BandDrawing drawing;
    g(108, [&] { drawing = m_picture1->blankDrawing(); });
    QStringList lines;
    g(110, [&] {
        if (!mWeatherText.isEmpty())
            lines = mWeatherText.split(QLatin1String("\r\n"));
    });
    const int lineHeight = m_picture1->lineHeight();
    int top = 0;
    for (const QString& line : std::as_const(lines)) {
        int x = 0;
        const FittedLine fitted = m_picture1->fittedLine(line);
        // Read for every line, so a change of alignment shows from the next line on. A value
        // that cannot be read is reported and the line drawn from the left edge.
        g(112, [&] {
            if (settings::whole(settings::Key::Combo1, settings::User::Display) == 1)
                x = centredLineX(drawing.size.width(), fitted.width);
        });
        // An empty line only moves the drawing position down.
        if (!line.isEmpty())
            drawing.lines.append(BandLine{line, x, top, fitted.font});
        top += lineHeight;
    }
    g(112, [&] { m_picture1->present(std::move(drawing)); });
    g(114, [] { processPendingEvents(); });
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
    // A tick under way fetches as soon as it can; otherwise this is the tick that fetches.
    mTickCount = m_refreshTicks - 1;
    refreshTick();
}

void DisplayWindow::keepAwakeTick() {
    if (m_inTimer2)
        return;
    Procedure g(this, QStringLiteral("Form2.Timer2_Timer"));
    if (g.gone())
        return;
    m_inTimer2 = true;
    g.setReportMode(ReportMode::Modeless);
    g(100, [&] { createKeepAwake(); });
    g(102, [&] {
        if (m_keepAwake)
            m_keepAwake->nudge();
    });
    g(104, [] { processPendingEvents(); });
    if (g.window())
        m_inTimer2 = false;
}

} // namespace nimbrel
