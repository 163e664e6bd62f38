// The X11 screen power on real servers: the Xvfb of xvfb-run, which has no DPMS, and an Xorg of
// the test's own on the dummy video driver, for DPMS where that server offers it. DPMS's order
// of requests also through a recorder, as that Xorg rarely has DPMS.

#include "screen_power_x11.h"

#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>
#include <X11/extensions/scrnsaver.h>

#include <sys/prctl.h>

#include <csignal>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

using Connection = std::unique_ptr<Display, int (*)(Display*)>;

bool screenSaverOn(Display* x) {
    XScreenSaverInfo* info = XScreenSaverAllocInfo();
    XScreenSaverQueryInfo(x, DefaultRootWindow(x), info);
    const bool on = info->state == ScreenSaverOn;
    XFree(info);
    return on;
}

// The power level, and whether DPMS is enabled.
QPair<int, bool> dpms(Display* x) {
    CARD16 level = 0;
    BOOL enabled = False;
    DPMSInfo(x, &level, &enabled);
    return {level, enabled != False};
}

// Marks a level forced while DPMS is off, which a real server refuses.
struct DpmsRecorder final : nimbrel::X11Dpms {
    DpmsRecorder(QStringList& calls, bool on) : calls(calls), on(on) {}
    bool enabled() override { return on; }
    void enable() override {
        on = true;
        calls.append(u"enable"_s);
    }
    void disable() override {
        on = false;
        calls.append(u"disable"_s);
    }
    void forceOn() override { calls.append(on ? u"on"_s : u"on while disabled"_s); }
    void forceOff() override { calls.append(on ? u"off"_s : u"off while disabled"_s); }
    void sync() override { calls.append(u"sync"_s); }
    QStringList& calls;
    bool on;
};

} // namespace

class TestScreenPower : public QObject {
    Q_OBJECT

private slots:
    void withoutDpmsTheScreenSaverBlanksAndReturns();
    void withDpmsTheMonitorSleepsAndDpmsIsLeftAsFound();
    void dpmsIsEnabledForTheNightOnly();
};

void TestScreenPower::withoutDpmsTheScreenSaverBlanksAndReturns() {
    Connection x(XOpenDisplay(nullptr), XCloseDisplay);
    QVERIFY2(x, "needs an X server: run under xvfb-run");
    int eventBase = 0;
    int errorBase = 0;
    QVERIFY2(!DPMSQueryExtension(x.get(), &eventBase, &errorBase), "this server has DPMS");
    QVERIFY(!screenSaverOn(x.get()));
    auto power = nimbrel::createPlatformScreenPower(nullptr);
    QVERIFY(power->turnOff());
    QTRY_VERIFY_WITH_TIMEOUT(screenSaverOn(x.get()), 2000);
    power->turnOn();
    QTRY_VERIFY_WITH_TIMEOUT(!screenSaverOn(x.get()), 2000);
}

void TestScreenPower::withDpmsTheMonitorSleepsAndDpmsIsLeftAsFound() {
    const QString xorg = QStandardPaths::findExecutable(QStringLiteral("Xorg"));
    if (xorg.isEmpty())
        QSKIP("Xorg is not installed (Debian: xserver-xorg-core, xserver-xorg-video-dummy)");
    QTemporaryDir dir;
    QFile config(dir.filePath(QStringLiteral("xorg.conf")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("Section \"ServerFlags\"\n Option \"AutoAddDevices\" \"false\"\nEndSection\n"
                 "Section \"Device\"\n Identifier \"card\"\n Driver \"dummy\"\nEndSection\n");
    config.close();
    // Xorg names its display on stdout once it takes connections. Asked to end, it takes its
    // socket and lock file along; and it ends with a test that dies.
    QProcess server;
    server.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    const auto stop = qScopeGuard([&] {
        server.terminate();
        server.waitForFinished(5000);
    });
    server.start(xorg, QStringList{QStringLiteral("-displayfd"), QStringLiteral("1"),
                                   QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                                   QStringLiteral("-config"), config.fileName(),
                                   QStringLiteral("-logfile"),
                                   config.fileName() + QStringLiteral(".log")});
    if (!server.waitForReadyRead(15000)) {
        const QByteArray why = "Xorg did not start: " + server.readAllStandardError().right(600);
        QSKIP(why.constData());
    }
    const QByteArray display = ':' + server.readAllStandardOutput().trimmed();
    Connection x(XOpenDisplay(display.constData()), XCloseDisplay);
    QVERIFY(x);
    int eventBase = 0;
    int errorBase = 0;
    if (!DPMSQueryExtension(x.get(), &eventBase, &errorBase))
        QSKIP("this Xorg has no DPMS: its dummy driver gives the screen no power control");

    // As a user would leave it on a wall display.
    DPMSDisable(x.get());
    XSync(x.get(), False);
    const QByteArray ownDisplay = qgetenv("DISPLAY");
    qputenv("DISPLAY", display);
    auto power = nimbrel::createPlatformScreenPower(nullptr);
    qputenv("DISPLAY", ownDisplay);
    QVERIFY(power->turnOff());
    QTRY_COMPARE_WITH_TIMEOUT(dpms(x.get()), qMakePair(int(DPMSModeOff), true), 2000);
    power->turnOn();
    QTRY_COMPARE_WITH_TIMEOUT(dpms(x.get()), qMakePair(int(DPMSModeOn), false), 2000);
}

// A second morning with no night between finds DPMS as the user left it.
void TestScreenPower::dpmsIsEnabledForTheNightOnly() {
    for (const bool enabledByUser : {false, true}) {
        QStringList calls;
        auto power =
            nimbrel::createDpmsScreenPower(std::make_unique<DpmsRecorder>(calls, enabledByUser));
        QVERIFY(power->turnOff());
        power->turnOn();
        power->turnOn();
        QCOMPARE(calls.join(u' '), enabledByUser ? u"off sync on sync on sync"_s
                                                 : u"enable off sync on disable sync sync"_s);
    }
}

QTEST_MAIN(TestScreenPower)
#include "tst_screenpower.moc"
