#include "keywindow.h"

#include "apperror.h"
#include "controls.h"
#include "guard.h"
#include "handpointer.h"
#include "messages.h"
#include "open_url.h"
#include "procedure.h"
#include "programidentity.h"
#include "pushbutton.h"
#include "reading.h"
#include "settingschoices.h"
#include "settingsschema.h"
#include "skin.h"
#include "transfer.h"
#include "weatherrequest.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>

#include <QSignalBlocker>
#include <QTimer>

#include <initializer_list>
#include <limits>

namespace nimbrel {

namespace {

QString storedKey() {
    return settings::text(settings::Key::APIKey, settings::User::KeyWindow);
}

// The key test asks for the place the user has typed on the settings window, which need not
// have been stored yet; asking loads that window (hidden) when it is not loaded.
QString settingsWindowLocation() {
    const SettingsChoices* settings = settingsChoices();
    if (!settings)
        throw AppError(QStringLiteral("Object required"));
    return settings->location();
}

// One round of the wait for the shared transfer. It sleeps until some event arrives (the reply,
// a timer, the user) instead of spinning; the transfer's own time limit guarantees one does.
void letEventsRun() {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

QString whatTheServiceSaid(const Transfer::Answer& answer, const CurrentReply& read) {
    return read.message.isEmpty() ? answer.statusLine() : read.message;
}

} // namespace

KeyWindow::KeyWindow() : Form(FormId::ApiKey) {
    setUpDialogWindow(8040, 4665, false);
    setWindowTitle(QStringLiteral("Enter Your API Key Here"));

    m_howToFrame = addControl<QGroupBox>(this, "Frame1", twips(120, 90, 7800, 1545),
                                         QStringLiteral("How To Obtain OpenWeatherMap API Key"));
    m_howToLabel =
        addControl<QLabel>(m_howToFrame, "Label2", twips(240, 315, 7500, 450),
                           QStringLiteral("Please go to ") + kSignInPage +
                               QStringLiteral("  to get your own key and enter it below."));
    m_howToLabel->setWordWrap(true);
    m_signInButton = addControl<PushButton>(m_howToFrame, "PushButton1", twips(240, 900, 7320, 405),
                                            QStringLiteral("Open ") + kSignInPage);

    m_moreInfoFrame = addControl<QGroupBox>(this, "Frame3", twips(120, 1710, 7800, 915),
                                            QStringLiteral("More Information"));
    m_articleButton =
        addControl<PushButton>(m_moreInfoFrame, "PushButton2", twips(240, 300, 7320, 405),
                               QStringLiteral("What is an API key?"));

    m_keyFrame = addControl<QGroupBox>(this, "Frame2", twips(120, 2700, 7800, 825),
                                       QStringLiteral("Enter Your OpenWeatherMap API Key"));
    // The box starts with a text of its own that the load replaces, so the first opening stores
    // the key even when the store holds none yet (as the empty text).
    m_keyEdit = addControl<QLineEdit>(m_keyFrame, "Text1", twips(240, 300, 7335, 345),
                                      QStringLiteral("Text1"));
    // A line edit cuts its text at 32,767 characters by default, and the cut text would be
    // stored straight back: a key is shown as stored, however long.
    m_keyEdit->setMaxLength(std::numeric_limits<int>::max());

    m_testKeyButton = addControl<PushButton>(this, "PushButton3", twips(120, 3600, 7800, 405),
                                             QStringLiteral("Test API Key"));
    m_okButton = addControl<PushButton>(this, "PushButton6", twips(120, 4095, 7800, 405),
                                        QStringLiteral("OK"));

    setTabOrder(m_keyEdit, m_okButton);
    setTabOrder(m_okButton, m_articleButton);
    setTabOrder(m_articleButton, m_signInButton);
    setTabOrder(m_signInButton, m_testKeyButton);
    m_keyEdit->setFocus();

    connect(m_keyEdit, &QLineEdit::textChanged, this, [](const QString& text) {
        // The box stores on every keystroke; a failed write must not escape into the editor, and a
        // full disk is told once, not on every key (each box would swallow the typing after it).
        settings::saveFromHandler(QStringLiteral("Form3.Text1_Change"), 100,
                                  {{settings::Key::APIKey, text}}, settings::User::KeyWindow);
    });
    m_keyEdit->installEventFilter(this);
    connect(m_signInButton, &PushButton::clicked, this, &KeyWindow::openSignInPage);
    connect(m_articleButton, &PushButton::clicked, this, &KeyWindow::openApiKeyArticle);
    connect(m_testKeyButton, &PushButton::clicked, this, &KeyWindow::testKey);
    connect(m_okButton, &PushButton::clicked, this, &KeyWindow::returnToSettings);

    for (QWidget* button : {m_signInButton, m_articleButton, m_testKeyButton, m_okButton})
        addHoverRule(button, MousePointer::Custom);
    for (QWidget* frame : {m_howToFrame, m_keyFrame, m_moreInfoFrame})
        addHoverRule(frame, MousePointer::Default);
    finishHoverRules();
}

void KeyWindow::onLoad() {
    Guard g(QStringLiteral("Form3.Form_Load"));
    dressWindowAtLoad(g, this, QStringLiteral("Key Options"));
    g(112, [this] {
        const QString key = storedKey();
        const bool changes = key != m_keyEdit->text();
        {
            // The change handler runs here rather than from the signal, so a failed write is
            // reported as this step.
            const QSignalBlocker quiet(m_keyEdit);
            m_keyEdit->setText(key);
        }
        if (changes)
            keyChanged();
    });
}

void KeyWindow::onUnload() {
    Forms::show(FormId::Settings);
}

void KeyWindow::keyChanged() {
    settings::save(settings::Key::APIKey, settings::User::KeyWindow, m_keyEdit->text());
}

void KeyWindow::keyBoxFocused(Qt::FocusReason reason) {
    // Typing replaces the old key.
    m_keyEdit->selectAll();
    // A click puts the caret where it lands once the focus has arrived; select after it.
    if (reason == Qt::MouseFocusReason)
        QTimer::singleShot(0, m_keyEdit, [box = m_keyEdit] { box->selectAll(); });
}

void KeyWindow::openSignInPage() {
    Guard g(QStringLiteral("Form3.PushButton1_Click"));
    QString page;
    g(100, [&page] { page = kSignInPage; });
    g(102, [&page] { openInBrowser(page, Forms::loaded(FormId::Settings)); });
}

void KeyWindow::openApiKeyArticle() {
    Guard g(QStringLiteral("Form3.PushButton2_Click"));
    QString page;
    g(100, [&page] { page = kApiKeyArticle; });
    g(102, [&page] { openInBrowser(page, Forms::loaded(FormId::Settings)); });
}

// The waits below let any event run, closing this window included, and the window may be gone
// when they return; from the first wait on nothing here touches the window.
void KeyWindow::testKey() {
    // When the program ends during a wait there is nobody left to tell.
    Procedure g(this, QStringLiteral("Form3.PushButton3_Click"), Procedure::StopsWhen::ProgramEnds);
    Transfer::Answer reply;
    bool answered = false;

    // The display (or an earlier click) may be fetching through the same transfer. Its reply
    // says nothing about the key as it stands now, so wait for it and then ask on our own.
    g(100, [&g] {
        while (sharedTransfer().isExecuting() && !g.gone())
            letEventsRun();
    });
    if (g.gone())
        return;
    g(102, [&] {
        const QString url =
            weatherRequestUrl(serviceBaseUrl(), settingsWindowLocation(), storedKey());
        reply = sharedTransfer().fetch(url);
        answered = true;
    });
    while (g(104, [] { return sharedTransfer().isExecuting(); }).value_or(false) && !g.gone())
        g(106, [] { letEventsRun(); });
    if (g.gone())
        return;

    // The key may have been edited while the request was out; the verdict is about the stored
    // one. A store that cannot be read counts as no key.
    const QString key = g(108, [] { return storedKey(); }).value_or(QString());
    // No key is wrong whatever the service says. With a key, a request that got no answer
    // proves nothing either way, and neither does a reply that neither refuses nor accepts it:
    // the user is told what came back instead of being told the key works.
    // The reply is judged as the display judges it. Only two answers say the key was accepted: a
    // reading, and an unknown place (the service looks the place up only for a key it accepts).
    // A page from something in between (a captive portal, a proxy's error page) or any other
    // refusal says nothing about the key.
    const CurrentReply read = readCurrentReply(reply.body);
    const ReplyVerdict verdict = read.verdict;
    if (key.isEmpty() || verdict == ReplyVerdict::RefusedKey)
        g(110, [] { showPlainMessage(kKeyNotCorrect); });
    else if (!answered)
        g(114, [] { showPlainMessage(kKeyNotTested); });
    else if (verdict == ReplyVerdict::Reading || verdict == ReplyVerdict::UnknownPlace)
        g(112, [] { showPlainMessage(kKeyCorrect); });
    else
        g(116, [&] { showPlainMessage(kKeyNotJudged + whatTheServiceSaid(reply, read)); });
}

void KeyWindow::returnToSettings() {
    Guard g(QStringLiteral("Form3.PushButton6_Click"));
    g(100, [] { Forms::show(FormId::Settings); });
    // Hidden, not unloaded: the next opening shows the window as it was.
    g(102, [] { Forms::hide(FormId::ApiKey); });
}

bool KeyWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_keyEdit && event->type() == QEvent::FocusIn)
        keyBoxFocused(static_cast<QFocusEvent*>(event)->reason());
    return Form::eventFilter(watched, event);
}

} // namespace nimbrel
