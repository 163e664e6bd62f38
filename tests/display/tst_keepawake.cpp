// The X11 keep-awake against a real X server (run under xvfb-run) and a private session bus.

#include "keep_awake.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QObject>
#include <QTest>

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#include <X11/keysym.h>

#include <unistd.h>

#include <memory>
#include <utility>
#include <vector>

namespace {

// Set for the copy of the test that runs on a bus of its own.
constexpr char kOwnBusMark[] = "NIMBREL_TEST_OWN_BUS";

// Stands in for the desktop's screen saver on the test's own bus.
class FakeScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    int activityCalls = 0;
public slots:
    void SimulateUserActivity() { ++activityCalls; }
};

class TestKeepAwake : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void nudgeRestartsServerIdleTime();
    void nudgeSendsOneRightShiftPressAndRelease();
    void nudgeTellsSessionScreenSaver();
    void withoutDisplayOnlyTheSessionBusIsTold();

private:
    unsigned long serverIdleMs() const;

    // Every nudge of every case sends one call; they arrive in their own time, so the bus
    // cases compare the running total.
    int m_nudges = 0;
    Display* m_x = nullptr;
    FakeScreenSaver m_screenSaver;
    bool m_haveBus = false;
};

void TestKeepAwake::initTestCase() {
    m_x = XOpenDisplay(nullptr);
    QVERIFY2(m_x, "needs an X server: run under xvfb-run");
    int eventBase = 0;
    int errorBase = 0;
    QVERIFY(XScreenSaverQueryExtension(m_x, &eventBase, &errorBase));

    // The bus of the test's own that main() runs it on, so no desktop session is touched and
    // the call can be seen.
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    if (!qEnvironmentVariableIsSet(kOwnBusMark) || address.isEmpty())
        return;
    QDBusConnection service =
        QDBusConnection::connectToBus(QString::fromLatin1(address), QStringLiteral("saver"));
    QVERIFY(service.isConnected());
    QVERIFY(service.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
    QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &m_screenSaver,
                                   QDBusConnection::ExportAllSlots));
    m_haveBus = true;
}

void TestKeepAwake::cleanupTestCase() {
    if (m_haveBus)
        QDBusConnection::disconnectFromBus(QStringLiteral("saver"));
    if (m_x)
        XCloseDisplay(m_x);
}

unsigned long TestKeepAwake::serverIdleMs() const {
    XScreenSaverInfo* info = XScreenSaverAllocInfo();
    XScreenSaverQueryInfo(m_x, DefaultRootWindow(m_x), info);
    const unsigned long idle = info->idle;
    XFree(info);
    return idle;
}

void TestKeepAwake::nudgeRestartsServerIdleTime() {
    auto keepAwake = nimbrel::createPlatformKeepAwake();
    QTRY_VERIFY_WITH_TIMEOUT(serverIdleMs() >= 1500, 10000);
    keepAwake->nudge();
    ++m_nudges;
    QTRY_VERIFY_WITH_TIMEOUT(serverIdleMs() < 1000, 2000);
}

void TestKeepAwake::nudgeSendsOneRightShiftPressAndRelease() {
    const KeyCode shiftR = XKeysymToKeycode(m_x, XK_Shift_R);
    QVERIFY(shiftR != 0);

    // A window of ours holds the keyboard focus, so the synthetic key arrives here.
    const Window window = XCreateSimpleWindow(m_x, DefaultRootWindow(m_x), 0, 0, 64, 64, 0, 0, 0);
    XSelectInput(m_x, window, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
    XMapWindow(m_x, window);
    XEvent event;
    do
        XWindowEvent(m_x, window, StructureNotifyMask, &event);
    while (event.type != MapNotify);
    XSetInputFocus(m_x, window, RevertToParent, CurrentTime);
    XSync(m_x, False);

    auto keepAwake = nimbrel::createPlatformKeepAwake();
    keepAwake->nudge();
    ++m_nudges;

    std::vector<std::pair<int, unsigned>> keys;
    auto drain = [&] {
        while (XPending(m_x) > 0) {
            XNextEvent(m_x, &event);
            if (event.type == KeyPress || event.type == KeyRelease)
                keys.emplace_back(event.type, event.xkey.keycode);
        }
        return keys.size();
    };
    QTRY_VERIFY_WITH_TIMEOUT(drain() >= 2, 5000);
    const std::vector<std::pair<int, unsigned>> expected{{KeyPress, shiftR}, {KeyRelease, shiftR}};
    QVERIFY(keys == expected);

    char keymap[32] = {};
    XQueryKeymap(m_x, keymap);
    QVERIFY2((keymap[shiftR / 8] & (1 << (shiftR % 8))) == 0, "right Shift left pressed");

    XDestroyWindow(m_x, window);
    XSync(m_x, False);
}

void TestKeepAwake::nudgeTellsSessionScreenSaver() {
    if (!m_haveBus)
        QSKIP("dbus-run-session is not installed");
    auto keepAwake = nimbrel::createPlatformKeepAwake();
    keepAwake->nudge();
    ++m_nudges;
    QTRY_COMPARE_WITH_TIMEOUT(m_screenSaver.activityCalls, m_nudges, 5000);
    keepAwake->nudge();
    ++m_nudges;
    QTRY_COMPARE_WITH_TIMEOUT(m_screenSaver.activityCalls, m_nudges, 5000);
}

// As on Wayland or with the offscreen platform: no X connection can be had.
void TestKeepAwake::withoutDisplayOnlyTheSessionBusIsTold() {
    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    auto keepAwake = nimbrel::createPlatformKeepAwake();
    keepAwake->nudge();
    keepAwake->nudge();
    m_nudges += 2;
    keepAwake.reset();
    qputenv("DISPLAY", display);
    if (!m_haveBus)
        QSKIP("dbus-run-session is not installed; only survival was checked");
    QTRY_COMPARE_WITH_TIMEOUT(m_screenSaver.activityCalls, m_nudges, 5000);
}

} // namespace

// Qt 6.8 (not 6.4) on xcb asks for the session bus while the application starts, and keeps that
// connection, even a failed one. The test's bus must therefore be there before the application
// is made: the test runs itself again under dbus-run-session, and without that tool it runs the
// X cases only.
int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet(kOwnBusMark)) {
        qputenv(kOwnBusMark, "1");
        std::vector<char*> command{const_cast<char*>("dbus-run-session"), const_cast<char*>("--")};
        command.insert(command.end(), argv, argv + argc);
        command.push_back(nullptr);
        execvp(command[0], command.data());
        qunsetenv(kOwnBusMark);
    }
    QGuiApplication app(argc, argv);
    TestKeepAwake test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_keepawake.moc"
