// The X11 keep-awake against a real X server (run under xvfb-run) and a private session bus.

#include "keep_awake.h"

#include <QDBusConnection>
#include <QObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#include <X11/keysym.h>

#include <memory>
#include <utility>
#include <vector>

namespace {

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
    QProcess m_busDaemon;
    FakeScreenSaver m_screenSaver;
    bool m_haveBus = false;
};

void TestKeepAwake::initTestCase() {
    m_x = XOpenDisplay(nullptr);
    QVERIFY2(m_x, "needs an X server: run under xvfb-run");
    int eventBase = 0;
    int errorBase = 0;
    QVERIFY(XScreenSaverQueryExtension(m_x, &eventBase, &errorBase));

    // A bus of the test's own, so no desktop session is touched and the call can be seen.
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty())
        return;
    m_busDaemon.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                               QStringLiteral("--print-address=1")});
    QVERIFY(m_busDaemon.waitForStarted(5000));
    QVERIFY(m_busDaemon.waitForReadyRead(5000));
    const QByteArray address = m_busDaemon.readLine().trimmed();
    QVERIFY(!address.isEmpty());
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);

    QDBusConnection service =
        QDBusConnection::connectToBus(QString::fromLatin1(address), QStringLiteral("saver"));
    QVERIFY(service.isConnected());
    QVERIFY(service.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
    QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &m_screenSaver,
                                   QDBusConnection::ExportAllSlots));
    m_haveBus = true;
}

void TestKeepAwake::cleanupTestCase() {
    if (m_haveBus) {
        QDBusConnection::disconnectFromBus(QStringLiteral("saver"));
        m_busDaemon.kill();
        m_busDaemon.waitForFinished(5000);
    }
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
        QSKIP("dbus-daemon is not installed");
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
        QSKIP("dbus-daemon is not installed; only survival was checked");
    QTRY_COMPARE_WITH_TIMEOUT(m_screenSaver.activityCalls, m_nudges, 5000);
}

} // namespace

QTEST_MAIN(TestKeepAwake)
#include "tst_keepawake.moc"
