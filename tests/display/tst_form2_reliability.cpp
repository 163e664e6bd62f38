#include "application.h"
#include "displayfixture.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTest>

#include <unistd.h>

using namespace nimbrel;
using namespace nimbrel::test;
using namespace std::chrono_literals;
using Fault = sample::SampleWeatherService::Fault;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// A loopback address where nothing listens.
QString closedServiceBase() {
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        qFatal("cannot find a free port");
    const quint16 port = server.serverPort();
    server.close();
    return QStringLiteral("http://127.0.0.1:%1").arg(port);
}

qint64 residentBytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * sysconf(_SC_PAGESIZE) : -1;
}

int liveReplies() {
    return int(sharedTransfer().findChildren<QNetworkReply*>().size());
}

} // namespace

class TestForm2Reliability : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { fixture.setUp(); }
    void cleanup() { fixture.tearDown(); }

    void tickDoesNotReenterWhileFetchWaits();
    void closingWhileFetchWaits_data();
    void closingWhileFetchWaits();
    void sameFailureNotStacked();
    void unreachableServiceStaysFlat();

private:
    DisplayFixture fixture;
};

void TestForm2Reliability::tickDoesNotReenterWhileFetchWaits() {
    Form2* display = DisplayFixture::openDisplay();
    fixture.service->setFault(Fault::Stall);
    sharedTransfer().setTimeLimit(300ms);
    fixture.service->clearRequests();
    int nestedTicks = 0;
    int countInside = -1;
    bool fetchWaiting = false;
    connect(fixture.service.get(), &sample::SampleWeatherService::requestReceived, display, [&] {
        QTimer::singleShot(0, display, [&] {
            fetchWaiting = sharedTransfer().StillExecuting();
            display->Timer1_Timer();
            ++nestedTicks;
            countInside = display->tickCount();
        });
    });

    display->setTickCountForTesting(599);
    display->Timer1_Timer();
    QCOMPARE(nestedTicks, 1);
    QVERIFY(fetchWaiting);
    // The tick that arrived during the wait neither counted nor fetched.
    QCOMPARE(countInside, 600);
    QCOMPARE(fixture.service->requestCount(), 1);
    QCOMPARE(display->tickCount(), 0);
    // The time-out is the fetch's failure, reported once; the text built without a reply is drawn.
    QCOMPARE(fixture.reportLines(QStringLiteral("Form2.getWeather")).size(), 1);
    QVERIFY(fixture.reportLines(QStringLiteral("Form2.Timer1_Timer")).isEmpty());
    QVERIFY(!DisplayFixture::band(display)->drawing().lines.isEmpty());
    display->Timer1_Timer();
    QCOMPARE(display->tickCount(), 1);
}

void TestForm2Reliability::closingWhileFetchWaits_data() {
    QTest::addColumn<QString>("during");
    QTest::addColumn<bool>("closeEvent");
    for (const char* during : {"tick", "restyle", "load"}) {
        QTest::addRow("%s, unloaded", during) << QString::fromLatin1(during) << false;
        QTest::addRow("%s, close event", during) << QString::fromLatin1(during) << true;
    }
}

void TestForm2Reliability::closingWhileFetchWaits() {
    QFETCH(QString, during);
    QFETCH(bool, closeEvent);
    QPointer<Form2> display;
    if (during != QLatin1String("load"))
        display = DisplayFixture::openDisplay();
    // Long enough that only the abort can end the wait in time.
    sharedTransfer().setTimeLimit(30s);
    fixture.service->setFault(Fault::Stall);
    const QMetaObject::Connection closer =
        connect(fixture.service.get(), &sample::SampleWeatherService::requestReceived,
                fixture.service.get(), [closeEvent] {
                    QTimer::singleShot(0, [closeEvent] {
                        if (!closeEvent)
                            Forms::unload(FormId::Form2);
                        else if (Form* form = Forms::loaded(FormId::Form2))
                            form->close();
                    });
                });

    QElapsedTimer clock;
    clock.start();
    if (during == QLatin1String("tick")) {
        display->setTickCountForTesting(599);
        display->Timer1_Timer();
    } else if (during == QLatin1String("restyle")) {
        display->ReLoadStyle();
    } else {
        display = Forms::get<Form2>(FormId::Form2);
    }
    QVERIFY2(clock.elapsed() < 10000, "the fetch was not cancelled");
    QVERIFY(!sharedTransfer().StillExecuting());
    QVERIFY(fixture.messages->messages.isEmpty());
    QVERIFY(!Forms::loaded(FormId::Form2));
    const Form* settings = Forms::loaded(FormId::Form1);
    QVERIFY(settings);
    QVERIFY(settings->isVisible());
    QTRY_VERIFY(display.isNull());

    // The transfer serves the next display as before.
    disconnect(closer);
    fixture.service->setFault(Fault::None);
    const Form2* next = DisplayFixture::openDisplay();
    QVERIFY(next->weatherText().startsWith(QLatin1String("San Diego\r\n")));
}

void TestForm2Reliability::sameFailureNotStacked() {
    Form2* display = DisplayFixture::openDisplay();
    setServiceBaseUrlForTesting(closedServiceBase());
    int countInside = -1;
    bool inside = false;
    fixture.messages->whileShown = [&](const Message&) {
        if (inside)
            return;
        inside = true;
        // While the first report waits for OK: the next tick and another fetch that fails
        // the same way.
        display->Timer1_Timer();
        countInside = display->tickCount();
        display->getWeather();
        inside = false;
    };
    display->setTickCountForTesting(599);
    display->Timer1_Timer();
    QCOMPARE(countInside, 600);
    QCOMPARE(fixture.reportLines(QStringLiteral("Form2.getWeather")).size(), 1);

    // Once dismissed, the next failure is reported again.
    display->setTickCountForTesting(599);
    display->Timer1_Timer();
    QCOMPARE(fixture.reportLines(QStringLiteral("Form2.getWeather")).size(), 2);
}

void TestForm2Reliability::unreachableServiceStaysFlat() {
    Form2* display = DisplayFixture::openDisplay();
    setServiceBaseUrlForTesting(closedServiceBase());
    int reports = 0;
    // Ticks come from an event loop, as they do in the program, so whatever is deleted later is
    // deleted the way it is there.
    const auto refreshCycles = [&](int cycles) {
        QEventLoop loop;
        QTimer driver;
        int done = 0;
        connect(&driver, &QTimer::timeout, &loop, [&] {
            display->setTickCountForTesting(599);
            display->Timer1_Timer();
            reports += int(fixture.messages->messages.size());
            fixture.messages->messages.clear();
            if (++done == cycles)
                loop.quit();
        });
        driver.start(0);
        loop.exec();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };

    // Qt's and the C library's caches fill up during the first few hundred cycles.
    refreshCycles(300);
    const qsizetype objects = display->findChildren<QObject*>().size();
    const int replies = liveReplies();
    const qint64 resident = residentBytes();
    reports = 0;

    refreshCycles(300);
    QCOMPARE(reports, 300);
    QCOMPARE(display->findChildren<QObject*>().size(), objects);
    QCOMPARE(liveReplies(), replies);
    QCOMPARE(liveReplies(), 0);
    QVERIFY(display->weatherText().contains(QLatin1String("Current Temperature: ")));
    QVERIFY(!DisplayFixture::band(display)->drawing().lines.isEmpty());
    const qint64 growth = residentBytes() - resident;
    qInfo("resident memory grew by %lld bytes over 300 refresh cycles", growth);
    // The sanitizer keeps freed memory in quarantine, so only the plain build can judge this.
    if (!kAddressSanitizer)
        QVERIFY2(growth < 1024 * 1024, qPrintable(QString::number(growth)));
}

NIMBREL_TEST_MAIN(TestForm2Reliability)
#include "tst_form2_reliability.moc"
