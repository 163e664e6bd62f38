#include "guard.h"
#include "keywindow.h"
#include "messages.h"
#include "programfolder.h"
#include "programidentity.h"
#include "pushbutton.h"
#include "readsetting.h"
#include "sampleweatherservice.h"
#include "settings.h"
#include "settingswindowdouble.h"
#include "testsupport.h"
#include "transfer.h"
#include "weatherrequest.h"
#include "weathertext.h"

#include <QApplication>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

using namespace nimbrel;
using namespace Qt::StringLiterals;
using nimbrel::sample::SampleWeatherService;
using namespace std::chrono_literals;
using test::SettingsWindowDouble;

namespace {

const QString kCorrect = QStringLiteral("Your API Key is correct and ready to work.");
const QString kNotCorrect = QStringLiteral(
    "Your API Key is not correct. A key made in the last two hours may not be active yet.");
const QString kNotTested =
    QStringLiteral("Your API Key could not be tested because the weather service did not answer.");
const QString kNotJudged =
    QStringLiteral("Your API Key could not be tested because the weather service answered: ");

// Catches what the program hands to the browser.
class BrowserDouble : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl& url) { opened.append(url); }
};

} // namespace

class TestKeyWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void layout();
    void firstOpeningStoresTheKey_data();
    void firstOpeningStoresTheKey();
    void typingStoresEveryChange();
    void focusSelectsTheWholeKey();
    void openPages_data();
    void openPages();
    void hoverRules_data();
    void hoverRules();
    void failedWritesAreReported();
    void fullStoreIsReportedOnceWhileItLasts();
    void okKeepsTheWindowLoaded();
    void closeBoxUnloads();

    void keyTest_data();
    void keyTest();
    void judgedAsTheDisplayJudges_data();
    void judgedAsTheDisplayJudges();
    void keyTestWithoutAnswer_data();
    void keyTestWithoutAnswer();
    void keyTestWaitsForRunningFetch();
    void closingDuringKeyTest();

private:
    KeyWindow* openKeyWindow();
    SettingsWindowDouble* settingsWindow();
    template <class T> T* control(const char* name);

    SampleWeatherService m_service;
    std::unique_ptr<test::TempSettings> m_settings;
    std::unique_ptr<test::MessageRecorder> m_messages;
    int m_keyWindowLoads = 0;
};

void TestKeyWindow::initTestCase() {
    QVERIFY(m_service.listen());
    setServiceBaseUrlForTesting(m_service.baseUrl());
    setProgramFolderForTesting(QDir::tempPath() + QStringLiteral("/nimbrel-no-such-folder"));
    Forms::registerFactory(FormId::Settings, [] { return new SettingsWindowDouble; });
    Forms::registerFactory(FormId::ApiKey, [this] {
        ++m_keyWindowLoads;
        return new KeyWindow;
    });
}

void TestKeyWindow::init() {
    m_settings = std::make_unique<test::TempSettings>();
    m_messages = std::make_unique<test::MessageRecorder>();
    m_keyWindowLoads = 0;
    m_service.clearRequests();
    m_service.clearFixedReply();
    m_service.setFault(SampleWeatherService::Fault::None);
    m_service.setValidKeys({QStringLiteral("demo-key"), QStringLiteral("  demo-key ")});
    sharedTransfer().setTimeLimit(5s);
}

void TestKeyWindow::cleanup() {
    Forms::reset();
    m_messages.reset();
    m_settings.reset();
}

KeyWindow* TestKeyWindow::openKeyWindow() {
    Forms::show(FormId::ApiKey);
    return Forms::get<KeyWindow>(FormId::ApiKey);
}

SettingsWindowDouble* TestKeyWindow::settingsWindow() {
    return Forms::get<SettingsWindowDouble>(FormId::Settings);
}

template <class T> T* TestKeyWindow::control(const char* name) {
    return Forms::get(FormId::ApiKey)->findChild<T*>(QLatin1String(name));
}

void TestKeyWindow::layout() {
    KeyWindow* form = openKeyWindow();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    QCOMPARE(form->windowTitle(), QStringLiteral("Key Options"));
    QCOMPARE(form->minimumSize(), QSize(536, 311));
    QCOMPARE(form->maximumSize(), QSize(536, 311));
    QVERIFY(!(form->windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(form->windowFlags() & Qt::WindowCloseButtonHint);
    const QPoint screenCentre = form->screen()->availableGeometry().center();
    QVERIFY2((form->frameGeometry().center() - screenCentre).manhattanLength() <= 1,
             "the window opens centred");

    QCOMPARE(control<QLabel>("Label2")->text(),
             QStringLiteral("Please go to https://home.openweathermap.org/users/sign_in/  to get "
                            "your own key and enter it below."));
    QCOMPARE(control<PushButton>("PushButton1")->caption(),
             QStringLiteral("Open https://home.openweathermap.org/users/sign_in/"));
    QCOMPARE(control<PushButton>("PushButton2")->caption(), QStringLiteral("What is an API key?"));
    QCOMPARE(control<PushButton>("PushButton3")->caption(), QStringLiteral("Test API Key"));
    QCOMPARE(control<PushButton>("PushButton6")->caption(), QStringLiteral("OK"));
    QCOMPARE(control<PushButton>("PushButton6")->geometry(), QRect(8, 273, 520, 27));
    QCOMPARE(control<QLineEdit>("Text1")->parentWidget(), control<QGroupBox>("Frame2"));

    // Recoloured whether or not a skin is in use.
    const QColor face = QApplication::palette().color(QPalette::Button);
    QCOMPARE(form->palette().color(QPalette::Window), face);
    QCOMPARE(control<QGroupBox>("Frame1")->palette().color(QPalette::Window), face);
    QCOMPARE(control<QLabel>("Label2")->palette().color(QPalette::Window), face);

    form->activateWindow();
    QTRY_VERIFY_WITH_TIMEOUT(control<QLineEdit>("Text1")->hasFocus(), 2000);
}

void TestKeyWindow::firstOpeningStoresTheKey_data() {
    QTest::addColumn<std::optional<QString>>("stored");
    QTest::addColumn<QString>("expected");
    QTest::newRow("nothing stored") << std::optional<QString>() << QString();
    QTest::newRow("a key") << std::optional<QString>(QStringLiteral("abc123")) << "abc123";
    QTest::newRow("blanks kept") << std::optional<QString>(QStringLiteral("  k ")) << "  k ";
    // The same text as the layout: no change, and the stored text stands.
    QTest::newRow("the layout text") << std::optional<QString>(QStringLiteral("Text1")) << "Text1";
}

void TestKeyWindow::firstOpeningStoresTheKey() {
    QFETCH(std::optional<QString>, stored);
    QFETCH(QString, expected);
    if (stored)
        saveSetting(QStringLiteral("APIKey"), *stored);
    openKeyWindow();
    QCOMPARE(control<QLineEdit>("Text1")->text(), expected);
    const auto entries = m_settings->entries();
    QVERIFY(entries.contains(QStringLiteral("APIKey")));
    QCOMPARE(entries.value(QStringLiteral("APIKey")), expected);
    QVERIFY(m_messages->messages.isEmpty());
}

void TestKeyWindow::typingStoresEveryChange() {
    KeyWindow* form = openKeyWindow();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    auto* box = control<QLineEdit>("Text1");
    box->setFocus();
    QStringList seen;
    auto type = [&](Qt::Key key) {
        QTest::keyClick(box, key, Qt::NoModifier);
        seen << m_settings->entries().value(QStringLiteral("APIKey"), QStringLiteral("<absent>"));
    };
    type(Qt::Key_A);
    type(Qt::Key_B);
    type(Qt::Key_C);
    type(Qt::Key_Backspace);
    type(Qt::Key_Backspace);
    type(Qt::Key_Backspace);
    QCOMPARE(seen, (QStringList{u"a"_s, u"ab"_s, u"abc"_s, u"ab"_s, u"a"_s, u""_s}));
}

void TestKeyWindow::focusSelectsTheWholeKey() {
    saveSetting(QStringLiteral("APIKey"), QStringLiteral("old-key"));
    KeyWindow* form = openKeyWindow();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    auto* box = control<QLineEdit>("Text1");
    auto* ok = control<PushButton>("PushButton6");
    for (Qt::FocusReason reason : {Qt::OtherFocusReason, Qt::MouseFocusReason}) {
        ok->setFocus();
        box->setCursorPosition(2);
        box->setFocus(reason);
        QTRY_COMPARE_WITH_TIMEOUT(box->selectedText(), QStringLiteral("old-key"), 1000);
    }
    QTest::keyClicks(box, QStringLiteral("new"));
    QCOMPARE(m_settings->entries().value(QStringLiteral("APIKey")), QStringLiteral("new"));
}

void TestKeyWindow::openPages_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("page");
    QTest::newRow("sign-in page") << "PushButton1"
                                  << "https://home.openweathermap.org/users/sign_in/";
    QTest::newRow("what is an API key") << "PushButton2"
                                        << "https://en.wikipedia.org/wiki/"
                                           "Application_programming_interface_key";
}

void TestKeyWindow::openPages() {
    QFETCH(QString, button);
    QFETCH(QString, page);
    BrowserDouble browser;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
    openKeyWindow();
    control<PushButton>(qPrintable(button))->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(browser.opened, QList<QUrl>{QUrl(page)});
    QVERIFY(m_messages->messages.isEmpty());
}

void TestKeyWindow::hoverRules_data() {
    QTest::addColumn<QString>("over");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    for (const char* button : {"PushButton1", "PushButton2", "PushButton3", "PushButton6"})
        QTest::addRow("%s", button) << button << 0 << 99;
    for (const char* area : {"Form3", "Frame1", "Frame2", "Frame3"})
        QTest::addRow("%s", area) << area << 99 << 0;
    // Other controls leave the pointer as the last rule set it.
    QTest::newRow("Text1 keeps the hand") << "Text1" << 99 << 99;
    QTest::newRow("Label2 keeps the arrow") << "Label2" << 0 << 0;
    QTest::newRow("Label2 keeps the hand") << "Label2" << 99 << 99;
    QTest::newRow("hourglass stays over a button") << "PushButton3" << 11 << 11;
    QTest::newRow("hourglass stays over a frame") << "Frame2" << 11 << 11;
}

void TestKeyWindow::hoverRules() {
    QFETCH(QString, over);
    QFETCH(int, before);
    QFETCH(int, after);
    KeyWindow* form = openKeyWindow();
    QWidget* target = over == QLatin1String("Form3") ? form : control<QWidget>(qPrintable(over));
    QVERIFY(target);
    form->setMousePointer(static_cast<MousePointer>(before));
    nimbrel::test::sendMouseMove(target);
    QCOMPARE(static_cast<int>(form->mousePointer()), after);
}

// A store that cannot be written: the load reports its step, and typing reports without the
// failure escaping from the key box.
void TestKeyWindow::failedWritesAreReported() {
    QTemporaryFile notAFolder;
    QVERIFY(notAFolder.open());
    setSettingsFileForTesting(notAFolder.fileName() + QStringLiteral("/Corvane.ini"));
    KeyWindow* form = openKeyWindow();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    QVERIFY(!m_messages->messages.isEmpty());
    QVERIFY(m_messages->messages.constLast().text.contains(
        QStringLiteral("Form3.Form_Load at line 112\r")));
    m_messages->messages.clear();

    auto* box = control<QLineEdit>("Text1");
    box->setFocus();
    QTest::keyClick(box, Qt::Key_X);
    QCOMPARE(box->text(), QStringLiteral("x"));
    QCOMPARE(m_messages->messages.size(), 1);
    QCOMPARE(m_messages->messages.constFirst().title, QStringLiteral("Application Error"));
    QVERIFY(m_messages->messages.constFirst().text.contains(
        QStringLiteral("Form3.Text1_Change at line 100\r")));
}

// Ten keys typed while nothing can be stored give one report, not ten boxes that would each
// swallow the typing after them; once a save went through, the next failure is news again.
void TestKeyWindow::fullStoreIsReportedOnceWhileItLasts() {
    const test::FailingStore store;
    KeyWindow* form = openKeyWindow();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    auto* box = control<QLineEdit>("Text1");
    box->setFocus();
    store.fail();
    QTest::keyClicks(box, QStringLiteral("0123456789"));
    QCOMPARE(box->text(), QStringLiteral("0123456789"));
    QCOMPARE(m_messages->messages.size(), 1);
    QVERIFY(m_messages->messages.constFirst().text.contains(
        QStringLiteral("Form3.Text1_Change at line 100\r")));

    store.recover();
    QTest::keyClick(box, Qt::Key_A);
    QCOMPARE(readSetting(QStringLiteral("APIKey"), "absent"), QStringLiteral("0123456789a"));
    QCOMPARE(m_messages->messages.size(), 1);
    store.fail();
    QTest::keyClick(box, Qt::Key_B);
    QTest::keyClick(box, Qt::Key_C);
    QCOMPARE(m_messages->messages.size(), 2);
}

void TestKeyWindow::okKeepsTheWindowLoaded() {
    saveSetting(QStringLiteral("APIKey"), QStringLiteral("kept"));
    settingsWindow()->hide();
    KeyWindow* form = openKeyWindow();
    QCOMPARE(m_keyWindowLoads, 1);
    control<PushButton>("PushButton6")->click();
    QVERIFY(settingsWindow()->isVisible());
    QVERIFY(!form->isVisible());
    QCOMPARE(Forms::loaded(FormId::ApiKey), form);

    // Only a new load would read the store again.
    saveSetting(QStringLiteral("APIKey"), QStringLiteral("changed"));
    QCOMPARE(openKeyWindow(), form);
    QVERIFY(form->isVisible());
    QCOMPARE(m_keyWindowLoads, 1);
    QCOMPARE(control<QLineEdit>("Text1")->text(), QStringLiteral("kept"));
}

void TestKeyWindow::closeBoxUnloads() {
    saveSetting(QStringLiteral("APIKey"), QStringLiteral("first"));
    settingsWindow()->hide();
    QPointer<KeyWindow> form = openKeyWindow();
    form->close();
    QVERIFY(settingsWindow()->isVisible());
    QCOMPARE(Forms::loaded(FormId::ApiKey), nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(form.isNull(), 1000);

    saveSetting(QStringLiteral("APIKey"), QStringLiteral("second"));
    openKeyWindow();
    QCOMPARE(m_keyWindowLoads, 2);
    QCOMPARE(control<QLineEdit>("Text1")->text(), QStringLiteral("second"));
}

void TestKeyWindow::keyTest_data() {
    QTest::addColumn<std::optional<QString>>("key");
    QTest::addColumn<QString>("location");
    QTest::addColumn<int>("fixedStatus"); // 0: the service answers as it would
    QTest::addColumn<QByteArray>("fixedBody");
    QTest::addColumn<QString>("sentQuery");
    QTest::addColumn<QString>("verdict");

    const auto key = [](const char* k) { return std::optional<QString>(QString::fromUtf8(k)); };
    QTest::newRow("valid key") << key("demo-key") << "San Diego CA" << 0 << QByteArray()
                               << "q=San%20Diego%20CA&APPID=demo-key" << kCorrect;
    QTest::newRow("blanks sent as typed") << key("  demo-key ") << "London, UK" << 0 << QByteArray()
                                          << "q=London,%20UK&APPID=%20%20demo-key%20" << kCorrect;
    QTest::newRow("refused key") << key("not-a-key") << "San Diego CA" << 0 << QByteArray()
                                 << "APPID=not-a-key" << kNotCorrect;
    QTest::newRow("refusal in lower case")
        << key("demo-key") << "San Diego CA" << 401
        << QByteArray(R"({"cod":401, "message": "invalid api key. please see the faq."})")
        << "APPID=demo-key" << kNotCorrect;
    QTest::newRow("refusal in capitals")
        << key("demo-key") << "San Diego CA" << 401
        << QByteArray(R"({"cod":401, "message": "INVALID API KEY"})") << "APPID=demo-key"
        << kNotCorrect;
    // The place is not judged.
    QTest::newRow("unknown place") << key("demo-key") << "Atlantis" << 0 << QByteArray()
                                   << "q=Atlantis&APPID=demo-key" << kCorrect;
    // No key is wrong without asking, but the request goes out all the same.
    QTest::newRow("no key stored") << std::optional<QString>() << "San Diego CA" << 0
                                   << QByteArray() << "APPID= HTTP/1.1" << kNotCorrect;
    QTest::newRow("no key, service says nothing bad")
        << std::optional<QString>() << "San Diego CA" << 200 << QByteArray("{}")
        << "APPID= HTTP/1.1" << kNotCorrect;
    // Replies that neither accept nor refuse the key: the user is told what came back, in the
    // service's words when it gave some, else by the reply's status line.
    QTest::newRow("account blocked")
        << key("demo-key") << "San Diego CA" << 429
        << QByteArray(R"({"cod":429, "message": "Your account is temporary blocked."})")
        << "APPID=demo-key" << kNotJudged + u"Your account is temporary blocked."_s;
    QTest::newRow("no place to look up")
        << key("demo-key") << "" << 0 << QByteArray() << "q=&APPID=demo-key"
        << kNotJudged + u"Nothing to geocode"_s;
    QTest::newRow("server error page")
        << key("demo-key") << "San Diego CA" << 500
        << QByteArray("<html><body><h1>Something went wrong</h1></body></html>") << "APPID=demo-key"
        << kNotJudged + u"500 Internal Server Error"_s;
    QTest::newRow("captive portal")
        << key("demo-key") << "San Diego CA" << 200
        << QByteArray("<html><body>Sign in to use the guest network</body></html>")
        << "APPID=demo-key" << kNotJudged + u"200 OK"_s;
    QTest::newRow("200 without a reading")
        << key("demo-key") << "San Diego CA" << 200 << QByteArray(R"({"cod":200,"list":[]})")
        << "APPID=demo-key" << kNotJudged + u"200 OK"_s;
}

void TestKeyWindow::keyTest() {
    QFETCH(std::optional<QString>, key);
    QFETCH(QString, location);
    QFETCH(int, fixedStatus);
    QFETCH(QByteArray, fixedBody);
    QFETCH(QString, sentQuery);
    QFETCH(QString, verdict);
    if (key)
        saveSetting(QStringLiteral("APIKey"), *key);
    if (fixedStatus)
        m_service.setFixedReply(fixedStatus, fixedBody);
    openKeyWindow();
    settingsWindow()->locationBox()->setText(location);

    control<PushButton>("PushButton3")->click();

    QCOMPARE(m_service.weatherRequestCount(), 1);
    QVERIFY2(m_service.requestLines().constFirst().contains(sentQuery),
             qPrintable(m_service.requestLines().constFirst()));
    QCOMPARE(m_messages->messages.size(), 1);
    const Message& shown = m_messages->messages.constFirst();
    QCOMPARE(shown.text, verdict);
    QCOMPARE(shown.title, applicationTitle());
    QCOMPARE(shown.icon, MessageIcon::None);
    // The test neither stores nor edits the key.
    QCOMPARE(control<QLineEdit>("Text1")->text(), key.value_or(QString()));
    QCOMPARE(m_settings->entries().value(QStringLiteral("APIKey")), key.value_or(QString()));
}

// The words that decide one reader may appear where the other would not look: a place name, a
// description, a page in between. Whatever a reply holds, the key test's verdict matches what the
// display makes of the same reply.
void TestKeyWindow::judgedAsTheDisplayJudges_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    const QByteArray reading(
        R"({"cod":200,"name":"%1","weather":[{"description":"%2"}],"main":{"temp":290.5}})");
    QTest::newRow("refusal in a place name")
        << 200 << QByteArray(reading).replace("%1", "Invalid API key Town").replace("%2", "mist");
    QTest::newRow("unknown place in a description")
        << 200 << QByteArray(reading).replace("%1", "Dover").replace("%2", "city not found");
    QTest::newRow("refusal on a page in between")
        << 200 << QByteArray("<html><body>Invalid API key\"} or a login</body></html>");
    QTest::newRow("refusal") << 401 << QByteArray(R"({"cod":401,"message":"Invalid API key."})");
    QTest::newRow("unknown place")
        << 404 << QByteArray(R"({"cod":"404","message":"city not found"})");
    QTest::newRow("error with a temperature") << 500 << QByteArray(R"({"main":{"temp":"warm"}})");
}

void TestKeyWindow::judgedAsTheDisplayJudges() {
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    saveSetting(QStringLiteral("APIKey"), QStringLiteral("demo-key"));
    m_service.setFixedReply(status, body);
    openKeyWindow();
    control<PushButton>("PushButton3")->click();
    QCOMPARE(m_messages->messages.size(), 1);
    const QString verdict = m_messages->messages.constFirst().text;

    Guard guard(QStringLiteral("Form2.getWeather"));
    const QString shown = weatherTextFromReply(guard, QString::fromUtf8(body), u"demo-key"_s,
                                               u"Celsius"_s, DetailChoices{});
    // A message stands alone in the lines' place.
    const bool message = !shown.contains(QLatin1String("\r\n"));
    const bool refused =
        message && shown.startsWith(QLatin1String("Invalid API key"), Qt::CaseInsensitive);
    const bool answered = message ? shown.startsWith(QLatin1String("Please enter valid location."))
                                  : !shown.contains(QLatin1String("Current Temperature: --"));
    const QString expected = refused ? kNotCorrect : answered ? kCorrect : QString();
    if (expected.isEmpty())
        QVERIFY2(verdict.startsWith(kNotJudged), qPrintable(verdict));
    else
        QCOMPARE(verdict, expected);
}

void TestKeyWindow::keyTestWithoutAnswer_data() {
    QTest::addColumn<SampleWeatherService::Fault>("fault");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("verdict");
    QTest::newRow("stalled, key stored")
        << SampleWeatherService::Fault::Stall << "demo-key" << kNotTested;
    QTest::newRow("connection reset, key stored")
        << SampleWeatherService::Fault::Reset << "demo-key" << kNotTested;
    QTest::newRow("connection reset, no key")
        << SampleWeatherService::Fault::Reset << "" << kNotCorrect;
}

void TestKeyWindow::keyTestWithoutAnswer() {
    QFETCH(SampleWeatherService::Fault, fault);
    QFETCH(QString, key);
    QFETCH(QString, verdict);
    saveSetting(QStringLiteral("APIKey"), key);
    m_service.setFault(fault);
    sharedTransfer().setTimeLimit(300ms);
    openKeyWindow();

    control<PushButton>("PushButton3")->click();

    // Qt sends a request again once when a kept-alive connection drops; one answer was asked for.
    QVERIFY(m_service.weatherRequestCount() >= 1);
    QCOMPARE(m_messages->messages.size(), 2);
    const Message& report = m_messages->messages.at(0);
    QCOMPARE(report.title, QStringLiteral("Application Error"));
    QCOMPARE(report.icon, MessageIcon::Exclamation);
    QVERIFY2(report.text.contains(
                 QStringLiteral("in Nimbrel2021/08/31.Form3.PushButton3_Click at line 102\r\r")),
             qPrintable(report.text));
    const Message& result = m_messages->messages.at(1);
    QCOMPARE(result.text, verdict);
    QCOMPARE(result.title, applicationTitle());
    QCOMPARE(result.icon, MessageIcon::None);
}

// The display's fetch holds the shared transfer when the test is clicked: the test waits for it
// and then asks on its own, judging its own reply rather than the display's.
void TestKeyWindow::keyTestWaitsForRunningFetch() {
    saveSetting(QStringLiteral("APIKey"), QStringLiteral("demo-key"));
    openKeyWindow();
    m_service.setFault(SampleWeatherService::Fault::Delay, 200ms);
    bool clicked = false;
    QTimer::singleShot(0, this, [&] {
        QVERIFY(sharedTransfer().isExecuting());
        control<PushButton>("PushButton3")->click();
        clicked = true;
    });

    const QString displayReply = sharedTransfer().fetchBody(
        weatherRequestUrl(m_service.baseUrl(), QStringLiteral("San Diego CA"), u"stale-key"_s));

    QVERIFY(clicked);
    QVERIFY(displayReply.contains(QLatin1String("Invalid API key")));
    const QStringList requests = m_service.requestLines();
    QCOMPARE(requests.size(), 2);
    QVERIFY(requests.at(0).contains(QLatin1String("APPID=stale-key")));
    QVERIFY(requests.at(1).contains(QLatin1String("APPID=demo-key")));
    QCOMPARE(m_messages->messages.size(), 1);
    QCOMPARE(m_messages->messages.constFirst().text, kCorrect);
}

// Closing the window while its test waits must neither crash nor lose the verdict.
void TestKeyWindow::closingDuringKeyTest() {
    saveSetting(QStringLiteral("APIKey"), QStringLiteral("demo-key"));
    QPointer<KeyWindow> form = openKeyWindow();
    m_service.setFault(SampleWeatherService::Fault::Delay, 150ms);
    QTimer::singleShot(0, this, [&] { control<PushButton>("PushButton3")->click(); });
    // Lands inside the test's own wait for the display's fetch.
    QTimer::singleShot(60, this, [&] {
        if (form)
            form->close();
    });

    sharedTransfer().fetchBody(
        weatherRequestUrl(m_service.baseUrl(), QStringLiteral("San Diego CA"), u"demo-key"_s));

    QTRY_VERIFY_WITH_TIMEOUT(form.isNull(), 2000);
    QVERIFY(settingsWindow()->isVisible());
    QCOMPARE(m_service.weatherRequestCount(), 2);
    QCOMPARE(m_messages->messages.size(), 1);
    QCOMPARE(m_messages->messages.constFirst().text, kCorrect);
}

NIMBREL_TEST_MAIN(TestKeyWindow)
#include "tst_keywindow.moc"
