#include "application.h"
#include "displayfixture.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLocale>
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

// A morning, so that three hours on are still the same day.
QDateTime morning() {
    return QDateTime(QDate::currentDate(), QTime(8, 0));
}

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

// Ticks the display second by second until it sends its next request; how many ticks that took.
int ticksToNextRequest(DisplayWindow* display, const sample::SampleWeatherService& service) {
    const int before = service.weatherRequestCount();
    for (int ticks = 1; ticks <= 4000; ++ticks) {
        display->refreshTick();
        if (service.weatherRequestCount() != before)
            return ticks;
    }
    return -1;
}

// What the age line says; empty while it is hidden.
QString ageLine(const DisplayWindow* display) {
    const auto* line = display->findChild<QLabel*>(QStringLiteral("ageLine"));
    return line->isHidden() ? QString() : line->text();
}

// Whether the band shows the current temperature's line with this figure ("68", "--").
bool bandShowsCurrent(const DisplayWindow* display, const char* figure) {
    const QString text =
        QStringLiteral("Current Temperature: %1 \u00B0F").arg(QLatin1String(figure));
    for (const BandLine& line : DisplayFixture::band(display)->drawing().lines) {
        if (line.text == text)
            return true;
    }
    return false;
}

int liveReplies() {
    return int(sharedTransfer().findChildren<QNetworkReply*>().size());
}

} // namespace

class TestDisplayReliability : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { fixture.setUp(); }
    void cleanup() { fixture.tearDown(); }

    void tickDoesNotReenterWhileFetchWaits();
    void closingWhileFetchWaits_data();
    void closingWhileFetchWaits();
    void sameFailureNotStacked();
    void failedRefreshDoesNotHoldTheDisplay();
    void backOffAfterFailedRefresh_data();
    void backOffAfterFailedRefresh();
    void unreachableServiceStaysFlat();
    void readingOutlivesFailuresAndIsDated();
    void ageOnTheServiceClock_data();
    void ageOnTheServiceClock();
    void openingSaysWhyThereIsNoReading();
    void failedOpeningRetriesAfterItEnded();

private:
    DisplayFixture fixture;
};

void TestDisplayReliability::tickDoesNotReenterWhileFetchWaits() {
    DisplayWindow* display = DisplayFixture::openDisplay();
    fixture.service->setFault(Fault::Stall);
    sharedTransfer().setTimeLimit(300ms);
    fixture.service->clearRequests();
    int nestedTicks = 0;
    int countInside = -1;
    bool fetchWaiting = false;
    connect(fixture.service.get(), &sample::SampleWeatherService::requestReceived, display, [&] {
        QTimer::singleShot(0, display, [&] {
            fetchWaiting = sharedTransfer().isExecuting();
            display->refreshTick();
            ++nestedTicks;
            countInside = display->tickCount();
        });
    });

    display->setTickCountForTesting(599);
    display->refreshTick();
    QCOMPARE(nestedTicks, 1);
    QVERIFY(fetchWaiting);
    // The tick that arrived during the wait neither counted nor fetched.
    QCOMPARE(countInside, 600);
    QCOMPARE(fixture.service->weatherRequestCount(), 1);
    QCOMPARE(display->tickCount(), 0);
    // The time-out is the fetch's failure, reported once; the text built without a reply is drawn.
    QCOMPARE(fixture.reportLines(QStringLiteral("Form2.getWeather")).size(), 1);
    QVERIFY(fixture.reportLines(QStringLiteral("Form2.Timer1_Timer")).isEmpty());
    QVERIFY(!DisplayFixture::band(display)->drawing().lines.isEmpty());
    display->refreshTick();
    QCOMPARE(display->tickCount(), 1);
}

void TestDisplayReliability::closingWhileFetchWaits_data() {
    QTest::addColumn<QString>("during");
    QTest::addColumn<bool>("closeEvent");
    for (const char* during : {"tick", "restyle", "load"}) {
        QTest::addRow("%s, unloaded", during) << QString::fromLatin1(during) << false;
        QTest::addRow("%s, close event", during) << QString::fromLatin1(during) << true;
    }
}

void TestDisplayReliability::closingWhileFetchWaits() {
    QFETCH(QString, during);
    QFETCH(bool, closeEvent);
    QPointer<DisplayWindow> display;
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
                            Forms::unload(FormId::Display);
                        else if (Form* form = Forms::loaded(FormId::Display))
                            form->close();
                    });
                });

    QElapsedTimer clock;
    clock.start();
    if (during == QLatin1String("tick")) {
        display->setTickCountForTesting(599);
        display->refreshTick();
    } else if (during == QLatin1String("restyle")) {
        display->reloadStyle();
    } else {
        display = Forms::get<DisplayWindow>(FormId::Display);
    }
    QVERIFY2(clock.elapsed() < 10000, "the fetch was not cancelled");
    QVERIFY(!sharedTransfer().isExecuting());
    QVERIFY(fixture.messages->messages.isEmpty());
    QVERIFY(!Forms::loaded(FormId::Display));
    const Form* settings = Forms::loaded(FormId::Settings);
    QVERIFY(settings);
    QVERIFY(settings->isVisible());
    QTRY_VERIFY(display.isNull());

    // The transfer serves the next display as before.
    disconnect(closer);
    fixture.service->setFault(Fault::None);
    const DisplayWindow* next = DisplayFixture::openDisplay();
    QVERIFY(next->weatherText().startsWith(QLatin1String("San Diego\r\n")));
}

void TestDisplayReliability::sameFailureNotStacked() {
    DisplayWindow* display = DisplayFixture::openDisplay();
    setServiceBaseUrlForTesting(closedServiceBase());
    display->setTickCountForTesting(599);
    display->refreshTick();
    QCOMPARE(fixture.reportLines(QStringLiteral("Form2.getWeather")), QList<int>{102});
    QCOMPARE(fixture.messages->modelessOnScreen(), 1);
    // While that report is up, the next fetches fail the same way (the tick's and one of a
    // person's own) and are not reported again.
    display->setTickCountForTesting(599);
    display->refreshTick();
    QCOMPARE(display->tickCount(), 0);
    display->getWeather();
    QCOMPARE(fixture.messages->messages.size(), 1);

    // Once dismissed, the next failure is reported again.
    fixture.messages->dismissModeless();
    display->setTickCountForTesting(599);
    display->refreshTick();
    QCOMPARE(fixture.reportLines(QStringLiteral("Form2.getWeather")).size(), 2);
}

void TestDisplayReliability::failedRefreshDoesNotHoldTheDisplay() {
    DisplayWindow* display = DisplayFixture::openDisplay();
    QVERIFY(fixture.messages->messages.isEmpty());
    const quint16 port = fixture.service->port();
    fixture.service.reset();

    display->setTickCountForTesting(599);
    display->refreshTick();
    QCOMPARE(fixture.reportLines(QStringLiteral("Form2.getWeather")), QList<int>{102});
    QCOMPARE(fixture.messages->modelessShown, 1);
    QCOMPARE(fixture.messages->modelessOnScreen(), 1);
    QVERIFY(display->weatherText().startsWith(QLatin1String("San Diego\r\n")));
    // The report is up and nobody presses OK; the ticks go on as before.
    display->refreshTick();
    QCOMPARE(display->tickCount(), 1);

    // The service is back: the next attempt brings the reading, and the stale report goes.
    fixture.service = std::make_unique<sample::SampleWeatherService>();
    QVERIFY(fixture.service->listen(port));
    QVERIFY(ticksToNextRequest(display, *fixture.service) > 0);
    QVERIFY(display->weatherText().startsWith(QLatin1String("San Diego\r\n")));
    QTRY_COMPARE(fixture.messages->modelessOnScreen(), 0);
    QCOMPARE(fixture.messages->messages.size(), 1);

    // A person's own action still reports modal, as before.
    setServiceBaseUrlForTesting(closedServiceBase());
    display->reloadStyle();
    QCOMPARE(fixture.reportLines(QStringLiteral("Form2.getWeather")), QList<int>(3, 102));
    QCOMPARE(fixture.messages->modelessShown, 1);
}

void TestDisplayReliability::backOffAfterFailedRefresh_data() {
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QList<int>>("gaps");
    QTest::newRow("no answer") << "reset" << QList<int>{30, 60, 120, 240, 480, 600, 600};
    QTest::newRow("reply with no reading") << "error page" << QList<int>{30, 60, 120};
    QTest::newRow("city not found") << "unknown place" << QList<int>{600};
    QTest::newRow("invalid key") << "wrong key" << QList<int>{600};
    QTest::newRow("401 page") << "401" << QList<int>{600, 600};
    QTest::newRow("429, Retry-After 1800") << "429 1800" << QList<int>{1800, 1800};
    QTest::newRow("429, Retry-After past an hour") << "429 86400" << QList<int>{3600};
}

void TestDisplayReliability::backOffAfterFailedRefresh() {
    QFETCH(QString, failure);
    QFETCH(QList<int>, gaps);
    DisplayWindow* display = DisplayFixture::openDisplay();
    sample::SampleWeatherService& service = *fixture.service;
    const auto fail = [&](bool on) {
        service.setFault(on && failure == QLatin1String("reset") ? Fault::Reset : Fault::None);
        const int status = on ? failure.left(3).toInt() : 0;
        if (on && failure == QLatin1String("error page"))
            service.setFixedReply(500, "<html><body>Internal Server Error</body></html>");
        else if (status == 401 || status == 429)
            service.setFixedReply(status, "<html><body>Refused</body></html>");
        else
            service.clearFixedReply();
        service.setRetryAfter(status == 429 ? failure.mid(4).toInt() : -1);
        display->setRequest({on && failure == QLatin1String("unknown place")
                                 ? QStringLiteral("Atlantis")
                                 : QStringLiteral("San Diego CA"),
                             display->request().unit});
        saveSetting(QStringLiteral("APIKey"), on && failure == QLatin1String("wrong key")
                                                  ? QStringLiteral("not-a-key")
                                                  : QStringLiteral("demo-key"));
    };

    fail(true);
    display->setTickCountForTesting(599);
    const int before = service.weatherRequestCount();
    display->refreshTick();
    QVERIFY(service.weatherRequestCount() > before);
    QList<int> seen;
    for (qsizetype i = 0; i < gaps.size(); ++i)
        seen.append(ticksToNextRequest(display, service));
    QCOMPARE(seen, gaps);

    // A reading brings the regular schedule back, and the next failure starts over.
    fail(false);
    QVERIFY(ticksToNextRequest(display, service) > 0);
    QVERIFY(display->weatherText().startsWith(QLatin1String("San Diego\r\n")));
    fail(true);
    QCOMPARE(ticksToNextRequest(display, service), 600);
    QCOMPARE(ticksToNextRequest(display, service), gaps.first());
}

void TestDisplayReliability::unreachableServiceStaysFlat() {
    DisplayWindow* display = DisplayFixture::openDisplay();
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
            display->refreshTick();
            reports += int(fixture.messages->messages.size());
            fixture.messages->messages.clear();
            // Somebody presses OK each time, so each failure is shown.
            fixture.messages->dismissModeless();
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

void TestDisplayReliability::readingOutlivesFailuresAndIsDated() {
    // A morning, so that the three hours to expiry stay within the day.
    QDateTime clock(QDate::currentDate(), QTime(8, 0));
    DisplayWindow::setClockForTesting([&clock] { return clock; });
    const QDateTime observed = clock;
    fixture.service->setObservationTime(observed.toSecsSinceEpoch());
    DisplayWindow* display = DisplayFixture::openDisplay();
    fixture.service->setFault(Fault::Reset);
    clock = observed.addSecs(30 * 60);
    display->setTickCountForTesting(599);
    display->refreshTick();
    QVERIFY(bandShowsCurrent(display, "68"));
    QCOMPARE(ageLine(display), QString());
    // Past an hour it is dated; "hide" takes the hint only.
    clock = observed.addSecs(61 * 60);
    display->refreshTick();
    QTest::keyClicks(display, QStringLiteral("hide"));
    QCOMPARE(display->findChild<QLabel*>(QStringLiteral("Label1"))->size(), QSize(0, 0));
    const QString observedAt = observed.toLocalTime().toString(QStringLiteral("HH:mm"));
    QCOMPARE(ageLine(display), QStringLiteral("as of ") + observedAt);
    QVERIFY(bandShowsCurrent(display, "68"));

    clock = observed.addSecs(3 * 60 * 60);
    display->refreshTick();
    QCOMPARE(ageLine(display), QStringLiteral("No reading since ") + observedAt);
    QVERIFY(bandShowsCurrent(display, "--"));
    // The wall still says which place the "--" are for, and on the next day, since when.
    QCOMPARE(DisplayFixture::band(display)->drawing().lines.constFirst().text,
             QStringLiteral("San Diego"));
    clock = observed.addDays(1);
    display->refreshTick();
    QVERIFY(ageLine(display).startsWith(QStringLiteral("No reading since ")));
    QVERIFY(ageLine(display).endsWith(QLatin1Char(' ') + observedAt));
    QVERIFY(ageLine(display).size() > QStringLiteral("No reading since ").size() + 6);
    clock = observed.addSecs(3 * 60 * 60);

    // The service is back but its observation is two hours old: dated at once.
    const QDateTime twoHoursAgo = clock.addSecs(-2 * 60 * 60);
    fixture.service->setFault(Fault::None);
    fixture.service->setObservationTime(twoHoursAgo.toSecsSinceEpoch());
    QVERIFY(ticksToNextRequest(display, *fixture.service) > 0);
    QCOMPARE(ageLine(display), QStringLiteral("as of ") +
                                   twoHoursAgo.toLocalTime().toString(QStringLiteral("HH:mm")));
    // A fresh reading takes the line away.
    fixture.service->setObservationTime(clock.toSecsSinceEpoch());
    display->setTickCountForTesting(599);
    display->refreshTick();
    QCOMPARE(ageLine(display), QString());
}

// A wrong computer clock, or one set while the display runs, neither blanks a good reading nor
// keeps an old one up.
void TestDisplayReliability::ageOnTheServiceClock_data() {
    // Minutes: the computer's clock ahead of the true time as the reply comes, then the time that
    // passes and how far the computer's clock is set on meanwhile.
    QTest::addColumn<int>("clockAhead");
    QTest::addColumn<qint64>("observed"); // "dt"
    QTest::addColumn<bool>("dated");      // the reply carries the service's Date
    QTest::addColumn<int>("later");
    QTest::addColumn<int>("clockSet");
    QTest::addColumn<QString>("ageLine"); // how it starts; empty for none
    const qint64 minuteAgo = morning().toSecsSinceEpoch() - 60;
    const QString gone = QStringLiteral("No reading since ");
    QTest::newRow("clock 4 h fast") << 240 << minuteAgo << true << 0 << 0 << QString();
    QTest::newRow("clock 90 min fast, 50 min on")
        << 90 << minuteAgo << true << 50 << 0 << QString();
    QTest::newRow("dt 0") << 0 << qint64(0) << true << 0 << 0 << QString();
    QTest::newRow("dt 2 h ahead, 3 h on") << 0 << minuteAgo + 7260 << true << 180 << 0 << gone;
    QTest::newRow("dt in the year 5138, no Date, 3 h on")
        << 0 << qint64(99'999'999'999) << false << 180 << 0 << gone;
    QTest::newRow("clock set back 3 h, 70 min on")
        << 0 << minuteAgo << true << 70 << -180 << QStringLiteral("as of ");
}

void TestDisplayReliability::ageOnTheServiceClock() {
    QFETCH(int, clockAhead);
    QFETCH(qint64, observed);
    QFETCH(bool, dated);
    QFETCH(int, later);
    QFETCH(int, clockSet);
    QFETCH(QString, ageLine);
    QDateTime clock = morning().addSecs(clockAhead * 60);
    qint64 monotonic = 5'000'000;
    DisplayWindow::setClockForTesting([&clock] { return clock; },
                                      [&monotonic] { return monotonic; });
    fixture.service->setObservationTime(observed);
    const QString sent =
        QLocale::c().toString(morning().toUTC(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"));
    if (dated)
        fixture.service->setExtraHeaders("Date: " + sent.toLatin1() + "\r\n");
    DisplayWindow* display = DisplayFixture::openDisplay();
    display->refreshTick();
    QVERIFY(bandShowsCurrent(display, "68"));
    QCOMPARE(::ageLine(display), QString());

    monotonic += later * 60'000;
    clock = clock.addSecs((later + clockSet) * 60);
    display->refreshTick();
    QVERIFY2(::ageLine(display).startsWith(ageLine) &&
                 ageLine.isEmpty() == ::ageLine(display).isEmpty(),
             qPrintable(::ageLine(display)));
    QVERIFY(bandShowsCurrent(display, ageLine.startsWith(u'N') ? "--" : "68"));
    // What the wall dates agrees with its own clock: the reading's age back from it.
    if (clockSet != 0)
        QCOMPARE(::ageLine(display),
                 ageLine + clock.addSecs(-later * 60 - 60).toString(QStringLiteral("HH:mm")));
}

// A wall that opens on "--" says why, where the age line goes, until a reading comes; a block
// at the opening is waited out as it asks, whatever else would fetch sooner.
void TestDisplayReliability::openingSaysWhyThereIsNoReading() {
    fixture.service->setFixedReply(429, R"({"cod":429,"message":"Your account is blocked."})");
    fixture.service->setRetryAfter(1200);
    DisplayWindow* display = DisplayFixture::openDisplay();
    display->refreshTick();
    QVERIFY(bandShowsCurrent(display, "--"));
    QCOMPARE(ageLine(display),
             QStringLiteral("The weather service answered: 429 Too Many Requests"));
    const int blocked = fixture.service->weatherRequestCount();
    display->refreshNow();
    display->setTickCountForTesting(700);
    display->refreshTick();
    QCOMPARE(fixture.service->weatherRequestCount(), blocked);
    fixture.service->clearFixedReply();
    fixture.service->setRetryAfter(-1);
    display->setTickCountForTesting(1199);
    display->refreshTick();
    QCOMPARE(fixture.service->weatherRequestCount(), blocked + 1);
    QVERIFY(bandShowsCurrent(display, "68"));
    QCOMPARE(ageLine(display), QString());
}

void TestDisplayReliability::failedOpeningRetriesAfterItEnded() {
    DisplayWindow* display = DisplayFixture::loadDisplay();
    fixture.service->setFault(Fault::Stall);
    sharedTransfer().setTimeLimit(300ms);
    display->beginOpening();
    display->setRequest({QStringLiteral("San Diego CA"), QStringLiteral("Fahrenheit")});
    display->reloadStyle();
    // The second-long ticks went on while the opening waited for its time limit.
    display->setTickCountForTesting(61);
    display->endOpening();
    QCOMPARE(fixture.reportLines(QStringLiteral("Form2.getWeather")).size(), 1);
    // While the retry waits, the lines on the band stay, activation or not.
    bool bandUpDuringWait = false;
    connect(fixture.service.get(), &sample::SampleWeatherService::requestReceived, display, [&] {
        QTimer::singleShot(0, display, [&] {
            QEvent activate(QEvent::WindowActivate);
            QCoreApplication::sendEvent(display, &activate);
            bandUpDuringWait = sharedTransfer().isExecuting() && bandShowsCurrent(display, "--") &&
                               !DisplayFixture::band(display)->isHidden();
        });
    });
    QCOMPARE(ticksToNextRequest(display, *fixture.service), 30);
    QVERIFY(bandUpDuringWait);
}

NIMBREL_TEST_MAIN(TestDisplayReliability)
#include "tst_display_reliability.moc"
