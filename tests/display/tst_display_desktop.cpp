// The display as a citizen of a Linux desktop, against a private bus with recording stand-ins
// for the desktop portal, the screen saver and logind.
#include "comeback.h"
#include "displayfixture.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

using namespace nimbrel;
using namespace nimbrel::test;

namespace {

// How many inhibitions the desktop holds for us right now, the most it ever held at once, and
// how many it was asked for.
struct InhibitLog {
    int held = 0;
    int mostHeld = 0;
    int asked = 0;
    void take() {
        ++asked;
        mostHeld = std::max(mostHeld, ++held);
    }
};

class PortalRequest : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")
public:
    explicit PortalRequest(InhibitLog& log) : m_log(log) {}
public Q_SLOTS:
    void Close() {
        --m_log.held;
        deleteLater();
    }

private:
    InhibitLog& m_log;
};

class FakePortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Inhibit")
public:
    FakePortal(QDBusConnection bus, InhibitLog& log) : m_bus(std::move(bus)), m_log(log) {}
    uint lastFlags = 0;
    // While set, requests wait for answerWaiting(): a desktop slow to answer.
    bool holdAnswers = false;

    qsizetype waiting() const { return m_waiting.size(); }
    void answerWaiting() {
        for (const QDBusMessage& request : std::as_const(m_waiting))
            m_bus.send(request.createReply(QVariant::fromValue(grant())));
        m_waiting.clear();
    }

public Q_SLOTS:
    QDBusObjectPath Inhibit(const QString&, uint flags, const QVariantMap&) {
        lastFlags = flags;
        if (holdAnswers) {
            setDelayedReply(true);
            m_waiting.append(message());
            return {};
        }
        return grant();
    }

private:
    QDBusObjectPath grant() {
        m_log.take();
        const QString path =
            QStringLiteral("/org/freedesktop/portal/desktop/request/t/%1").arg(m_log.asked);
        m_bus.registerObject(path, new PortalRequest(m_log), QDBusConnection::ExportAllSlots);
        return QDBusObjectPath(path);
    }

    QDBusConnection m_bus;
    InhibitLog& m_log;
    QList<QDBusMessage> m_waiting;
};

class FakeScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    explicit FakeScreenSaver(InhibitLog& log) : m_log(log) {}
public Q_SLOTS:
    uint Inhibit(const QString&, const QString&) {
        m_log.take();
        m_cookies.append(uint(m_log.asked) + 100);
        return m_cookies.constLast();
    }
    void UnInhibit(uint cookie) {
        if (m_cookies.removeOne(cookie))
            --m_log.held;
    }
    void SimulateUserActivity() {}

private:
    InhibitLog& m_log;
    QList<uint> m_cookies;
};

// A stand-in offered under a desktop service's name on a connection of its own; withdrawn when
// it goes, also when a check fails half-way.
class DesktopService {
public:
    DesktopService(const QString& address, QString connectionName)
        : m_name(std::move(connectionName)), m_bus(QDBusConnection::connectToBus(address, m_name)) {
    }
    ~DesktopService() {
        if (!m_service.isEmpty())
            m_bus.unregisterService(m_service);
        QDBusConnection::disconnectFromBus(m_name);
    }
    DesktopService(const DesktopService&) = delete;
    DesktopService& operator=(const DesktopService&) = delete;

    QDBusConnection& bus() { return m_bus; }
    bool offer(const QString& service, const QString& path, QObject* object) {
        m_service = service;
        return m_bus.registerObject(path, object, QDBusConnection::ExportAllSlots) &&
               m_bus.registerService(service);
    }

private:
    QString m_name;
    QDBusConnection m_bus;
    QString m_service;
};

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kSaver = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");

} // namespace

class TestDisplayDesktop : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init() { fixture.setUp(); }
    void cleanup() { fixture.tearDown(); }
    void portalInhibitsWhileShown();
    void screenSaverInhibitsWithoutPortal();
    void closedBeforeTheDesktopAnswers();
    void nothingHeldWithoutKeepAwake();
    void resumeFetchesAtOnce();
    void reconnectFetchesAtMostOncePerMinute();

private:
    // Shows, hides with Escape, shows again and closes a display; checks the holds on the way.
    void walkDisplay(const InhibitLog& log);

    DisplayFixture fixture;
    QProcess m_busDaemon;
    QString m_address;
};

void TestDisplayDesktop::initTestCase() {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    QVERIFY2(!daemon.isEmpty(), "needs dbus-daemon");
    m_busDaemon.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                               QStringLiteral("--print-address=1")});
    QVERIFY(m_busDaemon.waitForStarted(5000));
    QVERIFY(m_busDaemon.waitForReadyRead(5000));
    m_address = QString::fromLatin1(m_busDaemon.readLine().trimmed());
    QVERIFY(!m_address.isEmpty());
    // The program's own connections are made on first use, after this.
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toLatin1());
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toLatin1());
}

void TestDisplayDesktop::cleanupTestCase() {
    m_busDaemon.kill();
    m_busDaemon.waitForFinished();
}

void TestDisplayDesktop::walkDisplay(const InhibitLog& log) {
    DisplayWindow* display = DisplayFixture::openDisplay();
    QTRY_COMPARE_WITH_TIMEOUT(log.held, 1, 5000);
    int escape = Qt::Key_Escape;
    display->onKeyDown(escape, Qt::NoModifier);
    QTRY_COMPARE_WITH_TIMEOUT(log.held, 0, 5000);
    Forms::show(FormId::Display);
    Forms::show(FormId::Display);
    QTRY_COMPARE_WITH_TIMEOUT(log.held, 1, 5000);
    QVERIFY(Forms::unload(FormId::Display));
    QTRY_COMPARE_WITH_TIMEOUT(log.held, 0, 5000);
    QCOMPARE(log.asked, 2);
    QCOMPARE(log.mostHeld, 1);
}

void TestDisplayDesktop::portalInhibitsWhileShown() {
    DesktopService desktop(m_address, QStringLiteral("portal"));
    InhibitLog log;
    FakePortal portal(desktop.bus(), log);
    QVERIFY(desktop.offer(kPortal, kPortalPath, &portal));
    saveSetting(QStringLiteral("Check4"), QStringLiteral("1"));
    walkDisplay(log);
    QCOMPARE(portal.lastFlags, 8u); // idle
}

void TestDisplayDesktop::screenSaverInhibitsWithoutPortal() {
    DesktopService desktop(m_address, QStringLiteral("saver"));
    InhibitLog log;
    FakeScreenSaver saver(log);
    QVERIFY(desktop.offer(kSaver, kSaverPath, &saver));
    saveSetting(QStringLiteral("Check4"), QStringLiteral("1"));
    walkDisplay(log);
}

// The display goes before the desktop has answered: what the desktop grants afterwards is ended
// as it arrives, not held for as long as the program runs.
void TestDisplayDesktop::closedBeforeTheDesktopAnswers() {
    DesktopService desktop(m_address, QStringLiteral("portal1"));
    InhibitLog log;
    FakePortal portal(desktop.bus(), log);
    QVERIFY(desktop.offer(kPortal, kPortalPath, &portal));
    saveSetting(QStringLiteral("Check4"), QStringLiteral("1"));
    portal.holdAnswers = true;
    DisplayFixture::openDisplay();
    QVERIFY(Forms::unload(FormId::Display));
    // The request may still be on its way over the bus; the answer goes once it is there.
    QTRY_COMPARE_WITH_TIMEOUT(portal.waiting(), 1, 5000);
    QCOMPARE(log.asked, 0);
    portal.answerWaiting();
    QCOMPARE(log.asked, 1);
    QTRY_COMPARE_WITH_TIMEOUT(log.held, 0, 5000);
}

void TestDisplayDesktop::nothingHeldWithoutKeepAwake() {
    DesktopService desktop(m_address, QStringLiteral("saver0"));
    InhibitLog log;
    FakeScreenSaver saver(log);
    QVERIFY(desktop.offer(kSaver, kSaverPath, &saver));
    saveSetting(QStringLiteral("Check4"), QStringLiteral("0"));
    DisplayFixture::openDisplay();
    // A round trip on the bus: anything the display had sent would have arrived before it.
    QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")));
    QCoreApplication::processEvents();
    QCOMPARE(log.asked, 0);
}

// logind's wake-up signal fetches at once, and that fetch is the timed one: the count of ticks
// to the next fetch starts again.
void TestDisplayDesktop::resumeFetchesAtOnce() {
    QDBusConnection logind = QDBusConnection::connectToBus(m_address, QStringLiteral("logind"));
    QVERIFY(logind.registerService(QStringLiteral("org.freedesktop.login1")));
    DisplayWindow* display = DisplayFixture::openDisplay();
    display->setTickCountForTesting(250);
    const int before = fixture.service->weatherRequestCount();
    const auto announce = [&logind](bool sleeping) {
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"));
        signal << sleeping;
        QVERIFY(logind.send(signal));
    };
    announce(true);
    announce(false);
    QTRY_COMPARE_WITH_TIMEOUT(fixture.service->weatherRequestCount(), before + 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(display->tickCount(), 0, 5000);
    QVERIFY(display->weatherText().contains(QLatin1String("San Diego")));
    logind.unregisterService(QStringLiteral("org.freedesktop.login1"));
    QDBusConnection::disconnectFromBus(QStringLiteral("logind"));
}

namespace {
qint64 g_nowMs = 0;
qint64 testClock() {
    return g_nowMs;
}
} // namespace

void TestDisplayDesktop::reconnectFetchesAtMostOncePerMinute() {
    using R = QNetworkInformation::Reachability;
    ComebackWatcher watcher;
    watcher.setElapsedForTesting(&testClock);
    QSignalSpy wanted(&watcher, &ComebackWatcher::freshReadingWanted);
    g_nowMs = 1'000'000;
    watcher.reachabilityChanged(R::Online); // from "unknown": nothing came back
    QCOMPARE(wanted.size(), 0);
    watcher.reachabilityChanged(R::Disconnected);
    watcher.reachabilityChanged(R::Online);
    QCOMPARE(wanted.size(), 1);
    g_nowMs += 30'000;
    watcher.reachabilityChanged(R::Local);
    watcher.reachabilityChanged(R::Online);
    QCOMPARE(wanted.size(), 1);
    g_nowMs += 31'000;
    watcher.reachabilityChanged(R::Disconnected);
    watcher.reachabilityChanged(R::Online);
    QCOMPARE(wanted.size(), 2);
    watcher.reachabilityChanged(R::Online); // no change
    QCOMPARE(wanted.size(), 2);
}

QTEST_MAIN(TestDisplayDesktop)
#include "tst_display_desktop.moc"
