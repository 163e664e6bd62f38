#include "form2.h"

#include "apperror.h"
#include "comeback.h"
#include "controls.h"
#include "convert.h"
#include "drawingband.h"
#include "guard.h"
#include "measuringlabel.h"
#include "refreshschedule.h"
#include "settings.h"
#include "styling.h"
#include "transfer.h"
#include "weatherrequest.h"
#include "weathertext.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <iterator>
#include <limits>

namespace nimbrel {

namespace {

// Far beyond any screen; the font command stops at 250 anyway.
constexpr qint16 kLargestFontSize = 2048;

Form2::KeepAwakeFactory& keepAwakeFactory() {
    static Form2::KeepAwakeFactory factory;
    return factory;
}

void processPendingEvents() {
    QCoreApplication::processEvents();
}

// A stored colour: 0x00BBGGRR, or with the high bit set a system colour by its index (15 is the
// button face, 18 the button text). Anything else is no colour at all.
QColor colourFromStored(qint32 value) {
    if (value >= 0) {
        if (value > 0xFFFFFF)
            throw AppError::invalidPropertyValue();
        return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
    }
    static constexpr QPalette::ColorRole systemRoles[] = {
        QPalette::Button,          // 0 scroll bar
        QPalette::Dark,            // 1 desktop
        QPalette::Highlight,       // 2 active title bar
        QPalette::Mid,             // 3 inactive title bar
        QPalette::Window,          // 4 menu bar
        QPalette::Base,            // 5 window background
        QPalette::Shadow,          // 6 window frame
        QPalette::WindowText,      // 7 menu text
        QPalette::Text,            // 8 window text
        QPalette::HighlightedText, // 9 title bar text
        QPalette::Button,          // 10 active border
        QPalette::Button,          // 11 inactive border
        QPalette::Mid,             // 12 application workspace
        QPalette::Highlight,       // 13 highlight
        QPalette::HighlightedText, // 14 highlighted text
        QPalette::Button,          // 15 button face
        QPalette::Dark,            // 16 button shadow
        QPalette::PlaceholderText, // 17 grey text
        QPalette::ButtonText,      // 18 button text
        QPalette::WindowText,      // 19 inactive title bar text
        QPalette::Light,           // 20 button highlight
        QPalette::Shadow,          // 21 3-D dark shadow
        QPalette::Midlight,        // 22 3-D light
        QPalette::ToolTipText,     // 23 tool tip text
        QPalette::ToolTipBase,     // 24 tool tip background
    };
    const quint32 bits = static_cast<quint32>(value);
    const quint32 index = bits & 0x00FFFFFFu;
    if ((bits & 0xFF000000u) != 0x80000000u || index >= std::size(systemRoles))
        throw AppError::invalidPropertyValue();
    return QGuiApplication::palette().color(systemRoles[index]);
}

QColor storedColour(const QString& key, qint64 defaultValue) {
    return colourFromStored(toLong(GetSetting(key, defaultValue)));
}

void setRole(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

QColor backgroundOf(const QWidget* widget) {
    return widget->palette().color(QPalette::Window);
}

// A control of the settings window, which is loaded (hidden) when it is not.
QCheckBox* settingsBox(const QString& name) {
    QCheckBox* box = Forms::get(FormId::Form1)->findChild<QCheckBox*>(name);
    if (!box)
        throw AppError(QStringLiteral("Object required"));
    return box;
}

bool isTicked(const QCheckBox* box) {
    return box->checkState() == Qt::Checked;
}

// The detail boxes as they stand. The settings window always has them; should one be missing,
// its line is simply left out. Each box switches the line its caption names: Check6 ("High")
// the "High: " line, Check7 ("Low") the "Low: " line.
DetailChoices detailChoices() {
    const Form* settings = Forms::get(FormId::Form1);
    const auto ticked = [settings](const char* name) {
        const auto* box = settings->findChild<QCheckBox*>(QLatin1String(name));
        return box && isTicked(box);
    };
    DetailChoices details;
    details.location = ticked("Check2");
    details.current = ticked("Check3");
    details.summary = ticked("Check5");
    details.high = ticked("Check6");
    details.low = ticked("Check7");
    return details;
}

} // namespace

Form2::Form2()
    : Form(FormId::Form2), m_label1(new QLabel(this)), m_lblData(new MeasuringLabel(this)),
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
    const Form* settings = Forms::loaded(FormId::Form1);
    if (QScreen* screen = settings ? settings->screen() : QGuiApplication::primaryScreen())
        setGeometry(screen->geometry());
    else
        resize(px(7095), px(3690));

    m_picture1->setObjectName(QStringLiteral("Picture1"));
    m_picture1->setFocusPolicy(Qt::NoFocus);
    m_picture1->setGeometry(px(2520), px(90), px(4350), px(1650));
    setRole(m_picture1, QPalette::Window, Qt::black);
    setRole(m_picture1, QPalette::WindowText, Qt::white);

    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setText(QStringLiteral("Press ESC To Exit. Type 'hide' to hide this text."));
    m_label1->setFocusPolicy(Qt::NoFocus);
    m_label1->setAutoFillBackground(true);
    m_label1->setGeometry(px(120), px(120), px(4575), px(495));
    m_label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setRole(m_label1, QPalette::Window, Qt::black);
    setRole(m_label1, QPalette::WindowText, Qt::white);

    m_lblData->setObjectName(QStringLiteral("lblData"));
    m_lblData->setFocusPolicy(Qt::NoFocus);
    m_lblData->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont dataFont(QStringLiteral("Courier New"), 72);
    dataFont.setBold(true);
    m_lblData->setFont(dataFont);
    m_lblData->setGeometry(px(1245), px(1485), px(4350), px(1650));
    m_lblData->setMeasuredText(QStringLiteral("12345"));

    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(1000);
    connect(m_timer1, &QTimer::timeout, this, &Form2::Timer1_Timer);
    m_timer2->setObjectName(QStringLiteral("Timer2"));
    m_timer2->setInterval(59000);
    connect(m_timer2, &QTimer::timeout, this, &Form2::Timer2_Timer);
    m_timer1->start();
    connect(m_comeback, &ComebackWatcher::freshReadingWanted, this, &Form2::refreshNow);
    m_comeback->watchSystem();

    // Moves over the hint and the band leave the pointer alone; the window's own rule is the
    // base class's.
    finishHoverRules();
}

Form2::~Form2() = default;

Transfer& Form2::Inet1() {
    return sharedTransfer();
}

void Form2::setKeepAwakeFactoryForTesting(KeepAwakeFactory factory) {
    keepAwakeFactory() = std::move(factory);
}

bool Form2::gone(const QPointer<Form2>& self) {
    return !self || self->isUnloading() || Forms::ending();
}

void Form2::silenceWhenGone(Guard& guard) {
    // A window that is being discarded cancels its own fetch; that is no failure to report.
    guard.silenceWhen([self = QPointer<Form2>(this)] { return gone(self); });
}

void Form2::setHideIdle() {
    mHideStarted = false;
    mHideStep = 0;
}

void Form2::Form_Load() {
    const HandlerScope scope(this);
    const QPointer<Form2> self(this);
    Guard g(QStringLiteral("Form2.Form_Load"));
    silenceWhenGone(g);
    g(100, [&] { Form_Resize(); });
    if (gone(self))
        return;
    g(102, [&] { setWindowIcon(applicationIcon()); });
    g(104, [&] {
        setCheckValue(settingsBox(QStringLiteral("Check1")),
                      toInteger(GetSetting(QStringLiteral("Check1"), qint64(0))));
    });
    if (gone(self))
        return;
    g(106, [&] { m_label1->setVisible(!isTicked(settingsBox(QStringLiteral("Check1")))); });
    g(108, [&] {
        setCheckValue(settingsBox(QStringLiteral("Check4")),
                      toInteger(GetSetting(QStringLiteral("Check4"), qint64(1))));
    });
    if (gone(self))
        return;
    g(110, [&] {
        if (isTicked(settingsBox(QStringLiteral("Check4")))) {
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

void Form2::Form_Resize() {
    const QPointer<Form2> self(this);
    if (gone(self))
        return;
    m_layoutSize = size();
    const double innerHeight = height();
    m_lblData->setGeometry(0, roundHalfEven(innerHeight / 2 - m_lblData->height() / 2.0), width(),
                           m_lblData->height());
    m_lblData->hide();
    m_picture1->hide();
    const QString text = getWeather();
    if (gone(self))
        return;
    m_lblData->setMeasuredText(text);
    placeBand();
}

void Form2::placeBand() {
    const int bandHeight = m_lblData->height();
    m_picture1->setGeometry(0, roundHalfEven(height() / 2.0 - bandHeight / 2.0), width(),
                            bandHeight);
}

void Form2::resizeEvent(QResizeEvent* event) {
    Form::resizeEvent(event);
    // Qt delivers a resize held back while the window was hidden when it is first shown; only a
    // real change of size asks for a new layout (and its fetch).
    if (event->size() == m_layoutSize)
        return;
    // The layout has no report of its own, and nothing may leave an event handler.
    try {
        Form_Resize();
    } catch (...) {
    }
}

void Form2::setVisible(bool visible) {
    if (visible && isHidden()) {
        const Form* settings = Forms::loaded(FormId::Form1);
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

bool Form2::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        int keyCode = key->key();
        Form_KeyDown(keyCode, key->modifiers());
        if (keyCode == 0) {
            event->accept();
            return true;
        }
        break;
    }
    case QEvent::WindowActivate:
        Form_Activate();
        break;
    default:
        break;
    }
    return Form::event(event);
}

void Form2::Form_Activate() {
    Guard g(QStringLiteral("Form2.Form_Activate"));
    silenceWhenGone(g);
    g(100, [&] { m_lblData->hide(); });
    g(102, [&] { m_picture1->hide(); });
}

void Form2::Form_KeyDown(int& keyCode, Qt::KeyboardModifiers) {
    Guard g(QStringLiteral("Form2.Form_KeyDown"));
    silenceWhenGone(g);
    const int key = keyCode;
    g(100, [&] {
        if (key != Qt::Key_H && key != Qt::Key_I && key != Qt::Key_D && key != Qt::Key_E)
            setHideIdle();
    });
    switch (key) {
    case Qt::Key_Escape:
        g(102, [&] { hide(); });
        g(102, [] { Forms::show(FormId::Form1); });
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

bool Form2::Form_QueryUnload(CloseReason) {
    const HandlerScope scope(this);
    Guard g(QStringLiteral("Form2.Form_QueryUnload"));
    silenceWhenGone(g);
    g(100, [] { Forms::show(FormId::Form1); });
    g(102, [] { processPendingEvents(); });
    g(104, [] { processPendingEvents(); });
    return true;
}

void Form2::Form_Unload() {
    m_timer1->stop();
    m_timer2->stop();
    m_idleInhibitor.reset();
    // Our fetch must not keep waiting for a window that is gone. A transfer that someone else
    // started (the key test) is left to finish.
    if (m_ownFetches > 0)
        Inet1().abort();
}

QString Form2::getWeather() {
    return fetchWeather(false, nullptr);
}

void Form2::beginOpening() {
    ++m_openings;
}

void Form2::endOpening() {
    if (--m_openings > 0)
        return;
    m_openings = 0;
    // A display opened while the service cannot be reached (a wall display starting before its
    // network) tries again after the first short wait instead of showing "--" for ten minutes.
    if (m_openingGotNoAnswer)
        planNextFetch(FetchOutcome::NoAnswer);
    m_openingGotNoAnswer = false;
}

QString Form2::fetchWeather(bool scheduled, FetchOutcome* outcome) {
    const HandlerScope scope(this);
    const QPointer<Form2> self(this);
    if (gone(self))
        return {};
    Guard g(QStringLiteral("Form2.getWeather"));
    silenceWhenGone(g);
    if (scheduled)
        g.setReportMode(ReportMode::Modeless);
    WeatherQuery query;
    query.baseUrl = serviceBaseUrl();
    query.location = mLocation;
    query.tempType = mTempType;
    query.details = detailChoices();
    // Loading the settings window for its boxes lets events run.
    if (gone(self))
        return {};
    const auto readKey = [] { return GetSetting(QStringLiteral("APIKey"), QStringLiteral("")); };
    const bool ofOpening = m_openings > 0 && !scheduled;
    if (ofOpening && m_openingGotNoAnswer) {
        // What the failed fetch would have been built from: no reply.
        QString key;
        g(108, [&] { key = readKey(); });
        if (outcome)
            *outcome = FetchOutcome::NoAnswer;
        return weatherTextFromReply(g, QString(), key, query.tempType, query.details);
    }
    Transfer& transfer = Inet1();
    const bool own = !transfer.StillExecuting();
    if (own)
        ++m_ownFetches;
    FetchOutcome result = FetchOutcome::Busy;
    QString text = buildWeatherText(g, transfer, query, readKey, &result);
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

void Form2::planNextFetch(FetchOutcome outcome) {
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

void Form2::applyFontSettings(Guard& g, int line, QWidget* target) {
    // One property at a time: a bad stored value costs that property only.
    const auto change = [&](const auto& edit) {
        g(line, [&] {
            QFont font = target->font();
            edit(font);
            target->setFont(font);
        });
    };
    change([](QFont& f) { f.setFamily(GetSetting(QStringLiteral("FontName"), "Arial")); });
    change([](QFont& f) { f.setBold(isTrue(GetSetting(QStringLiteral("FontBold"), "True"))); });
    change(
        [](QFont& f) { f.setItalic(isTrue(GetSetting(QStringLiteral("FontItalic"), "False"))); });
    change([](QFont& f) {
        const qint16 size = toInteger(GetSetting(QStringLiteral("FontSize"), "72"));
        if (size <= 0 || size > kLargestFontSize)
            throw AppError::invalidPropertyValue();
        f.setPointSize(size);
    });
    change([](QFont& f) {
        f.setStrikeOut(isTrue(GetSetting(QStringLiteral("FontStrikeThru"), "False")));
    });
    change([](QFont& f) {
        f.setUnderline(isTrue(GetSetting(QStringLiteral("FontUnderLine"), "False")));
    });
}

void Form2::ReLoadStyle() {
    const HandlerScope scope(this);
    const QPointer<Form2> self(this);
    if (gone(self))
        return;
    Guard g(QStringLiteral("Form2.ReLoadStyle"));
    silenceWhenGone(g);
    const auto fontColour = [](qint64 defaultValue) {
        return storedColour(QStringLiteral("Font Color"), defaultValue);
    };
    const auto backgroundColour = [] {
        return storedColour(QStringLiteral("Background Color"), qint64(0));
    };

    g(100, [&] {
        m_lblData->hide();
        m_picture1->hide();
    });
    g(102, [&] {
        const QString text = getWeather();
        if (!gone(self))
            m_lblData->setMeasuredText(text);
    });
    if (gone(self))
        return;
    applyFontSettings(g, 104, m_lblData);
    g(106, [&] { setRole(m_lblData, QPalette::WindowText, fontColour(0xFFFFFF)); });
    g(106, [&] { setRole(m_lblData, QPalette::Window, backgroundColour()); });
    g(108, [&] {
        const bool centred = toInteger(GetSetting(QStringLiteral("Combo1"), qint64(1))) == 1;
        m_lblData->setAlignment((centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
    });
    g(110, [&] { setRole(this, QPalette::Window, backgroundColour()); });
    applyFontSettings(g, 112, m_picture1);
    g(114, [&] { setRole(this, QPalette::Window, backgroundColour()); });
    g(114, [&] { setRole(m_picture1, QPalette::WindowText, fontColour(0xFFFFFF)); });
    g(114, [&] { setRole(m_picture1, QPalette::Window, backgroundOf(this)); });
    g(116, [] { processPendingEvents(); });
    if (gone(self))
        return;
    g(118, [&] {
        const QString text = getWeather();
        if (!gone(self))
            mWeatherText = text;
    });
    if (gone(self))
        return;
    g(120, [] { processPendingEvents(); });
    if (gone(self))
        return;
    g(122, [&] { placeBand(); });
    g(124, [&] { setRole(m_lblData, QPalette::Window, backgroundOf(this)); });
    g(124, [&] { setRole(m_lblData, QPalette::WindowText, fontColour(0xFFFFFF)); });
    g(126, [&] { setRole(m_label1, QPalette::WindowText, fontColour(0x00FF00)); });
    g(126, [&] { setRole(m_label1, QPalette::Window, backgroundColour()); });
    g(128, [&] { setHideIdle(); });
}

void Form2::Timer1_Timer() {
    if (m_inTimer1)
        return;
    const HandlerScope scope(this);
    const QPointer<Form2> self(this);
    if (gone(self))
        return;
    m_inTimer1 = true;
    Guard g(QStringLiteral("Form2.Timer1_Timer"));
    silenceWhenGone(g);
    // Nobody may be there to press OK; the display goes on refreshing meanwhile.
    g.setReportMode(ReportMode::Modeless);
    drawTick(g, self);
    if (self)
        self->m_inTimer1 = false;
}

void Form2::drawTick(Guard& g, const QPointer<Form2>& self) {
    g(100, [&] {
        if (mTickCount == std::numeric_limits<qint32>::max())
            throw AppError::overflow();
        ++mTickCount;
    });
    if (mTickCount >= m_refreshTicks) {
        g(102, [] { processPendingEvents(); });
        if (gone(self))
            return;
        FetchOutcome outcome = FetchOutcome::Reading;
        g(102, [&] {
            const QString text = fetchWeather(true, &outcome);
            if (!gone(self))
                mWeatherText = text;
        });
        if (gone(self))
            return;
        g(102, [] { processPendingEvents(); });
        if (gone(self))
            return;
        g(102, [&] { mTickCount = 0; });
        planNextFetch(outcome);
    }
    g(104, [] { processPendingEvents(); });
    if (gone(self))
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
            if (toInteger(GetSetting(QStringLiteral("Combo1"), qint64(1))) == 1)
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
void Form2::createKeepAwake() {
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

void Form2::refreshNow() {
    // A tick under way fetches as soon as it can; otherwise this is the tick that fetches.
    mTickCount = m_refreshTicks - 1;
    Timer1_Timer();
}

void Form2::Timer2_Timer() {
    if (m_inTimer2)
        return;
    const HandlerScope scope(this);
    const QPointer<Form2> self(this);
    if (gone(self))
        return;
    m_inTimer2 = true;
    Guard g(QStringLiteral("Form2.Timer2_Timer"));
    silenceWhenGone(g);
    g.setReportMode(ReportMode::Modeless);
    g(100, [&] { createKeepAwake(); });
    g(102, [&] {
        if (m_keepAwake)
            m_keepAwake->nudge();
    });
    g(104, [] { processPendingEvents(); });
    if (self)
        self->m_inTimer2 = false;
}

} // namespace nimbrel
