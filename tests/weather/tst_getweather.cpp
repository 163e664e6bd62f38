#include "guard.h"
#include "sampleweatherservice.h"
#include "testsupport.h"
#include "transfer.h"
#include "weathertestsupport.h"
#include "weathertext.h"

#include <QPointer>
#include <QTimeZone>
#include <QtTest>

using namespace nimbrel;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Fault = sample::SampleWeatherService::Fault;

Q_DECLARE_METATYPE(nimbrel::FetchOutcome)
Q_DECLARE_METATYPE(Fault)

namespace {

const QString kReportName = QStringLiteral("Form2.getWeather");

QString degrees(const QString& label, const QString& number, char unit = 'F') {
    return label + number + QLatin1Char(' ') + QChar(0x00B0) + QLatin1Char(unit);
}

const QString kWorkedExample =
    QStringList{u"San Diego"_s, degrees(u"Current Temperature: "_s, u"68"_s), u"Clear Sky"_s,
                degrees(u"Low: "_s, u"63"_s), degrees(u"High: "_s, u"73"_s)}
        .join(QLatin1String("\r\n"));

// What an empty or foreign reply gives with a key stored.
const QString kNoValues = QStringList{u""_s, degrees(u"Current Temperature: "_s, u"--"_s), u""_s,
                                      degrees(u"Low: "_s, u"--"_s), degrees(u"High: "_s, u"--"_s)}
                              .join(QLatin1String("\r\n"));

const QString kRefusedKey = QStringLiteral(
    "Invalid API key. Please see https://openweathermap.org/faq#error401 for more info.");

const QString kCityMessage =
    QStringLiteral("Please enter valid location. Please go to the https://openweathermap.org/city "
                   "to learn how city should be written.");

} // namespace

// The whole fetch: request, wait, reading, and the failures reported on the way.
class TestGetWeather : public QObject {
    Q_OBJECT

private:
    QString getWeather(const QString& location, const QString& tempType = u"Fahrenheit"_s) {
        return getWeatherFrom(m_service->baseUrl(), location, tempType);
    }
    QString getWeatherFrom(const QString& base, const QString& location,
                           const QString& tempType = u"Fahrenheit"_s) {
        Guard guard(kReportName);
        const WeatherQuery query{base, location, tempType, {}, false};
        const FetchedWeather fetched = fetchCurrentWeather(guard, *m_transfer, query, [this] {
            ++m_keyReads;
            return m_key;
        });
        m_outcome = fetched.outcome;
        return weatherLines(fetched.reply, LineChoices{fetched.keyStored, tempType, {}, {}, {}})
            .join(QLatin1String("\r\n"));
    }

    sample::SampleWeatherService* m_service = nullptr;
    test::MessageRecorder* m_recorder = nullptr;
    QPointer<Transfer> m_transfer;
    QString m_key;
    int m_keyReads = 0;
    FetchOutcome m_outcome = FetchOutcome::Busy;

private Q_SLOTS:
    void init() {
        m_service = new sample::SampleWeatherService;
        QVERIFY(m_service->listen());
        m_recorder = new test::MessageRecorder;
        m_transfer = new Transfer;
        m_key = QStringLiteral("demo-key");
        m_keyReads = 0;
        m_outcome = FetchOutcome::Busy;
    }
    void cleanup() {
        delete m_transfer.data();
        delete m_recorder;
        delete m_service;
    }

    void workedExample() {
        QCOMPARE(getWeather(u"San Diego"_s), kWorkedExample);
        QCOMPARE(m_service->requestLines(),
                 QStringList{u"GET /data/2.5/weather?q=San%20Diego&APPID=demo-key HTTP/1.1"_s});
        QCOMPARE(m_keyReads, 2);
        QVERIFY(m_recorder->messages.isEmpty());
        QCOMPARE(m_outcome, FetchOutcome::Reading);
    }

    // Refused keys and unknown places are answers; a reply without a reading is not.
    void serviceAnswers_data() {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<FetchOutcome>("outcome");
        QTest::newRow("key refused") << "San Diego"
                                     << "wrong" << kRefusedKey << FetchOutcome::Answer;
        QTest::newRow("no key: still asked, refused") << "San Diego"
                                                      << "" << kRefusedKey << FetchOutcome::Answer;
        QTest::newRow("unknown place") << "Atlantis"
                                       << "demo-key" << kCityMessage << FetchOutcome::Answer;
        QTest::newRow("a location cannot add a parameter")
            << "San Diego&units=metric"
            << "demo-key" << kCityMessage << FetchOutcome::Answer;
        QTest::newRow("blocked account") << "San Diego"
                                         << "blocked" << kNoValues << FetchOutcome::NoReading;
    }
    void serviceAnswers() {
        QFETCH(QString, location);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QFETCH(FetchOutcome, outcome);
        m_service->setBlockedKeys({QStringLiteral("blocked")});
        m_key = key;
        QCOMPARE(getWeather(location), expected);
        QCOMPARE(m_service->requestCount(), 1);
        QVERIFY(m_recorder->messages.isEmpty());
        QCOMPARE(m_outcome, outcome);
        // Without a reading there is no day to ask the forecast about.
        Guard guard(kReportName);
        const FetchedWeather fetched = fetchCurrentWeather(
            guard, *m_transfer, {m_service->baseUrl(), location, u"Fahrenheit"_s, {}, true},
            [this] { return m_key; });
        QCOMPARE(fetched.outcome, outcome);
        QVERIFY(fetched.forecastAddress.isEmpty());
    }

    // The forecast comes in the background, and only a readable one comes at all; whatever else
    // the service does to it is never reported.
    void forecastInBackground_data() {
        QTest::addColumn<int>("status"); // of a fixed forecast reply; 0 for the scripted points
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<bool>("arrives");
        QTest::newRow("the points") << 0 << QByteArray() << Fault::None << true;
        QTest::newRow("error page")
            << 500 << QByteArray("<html>Server Error</html>") << Fault::None << false;
        QTest::newRow("not JSON") << 200 << QByteArray("<html>Sign in</html>") << Fault::None
                                  << false;
        QTest::newRow("missing") << 404 << QByteArray(R"({"cod":404,"message":"not found"})")
                                 << Fault::None << false;
        QTest::newRow("no answer in time") << 0 << QByteArray() << Fault::Stall << false;
        QTest::newRow("over the size cap") << 0 << QByteArray() << Fault::Oversized << false;
    }
    void forecastInBackground() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(Fault, fault);
        QFETCH(bool, arrives);
        const qint64 t =
            QDateTime(QDate(2024, 12, 9), QTime(20, 0), QTimeZone::utc()).toSecsSinceEpoch();
        m_service->setForecast(u"San Diego"_s, {-8 * 3600, {{t, 286}, {t + 3600, 300}}});
        QObject scope;
        connect(m_service, &sample::SampleWeatherService::requestReceived, &scope,
                [&](const QString& line) {
                    if (!line.contains(QLatin1String("/forecast")))
                        return;
                    if (status != 0)
                        m_service->setFixedReply(status, body);
                    m_service->setFault(fault);
                });
        m_transfer->setTimeLimit(500ms);
        Guard guard(kReportName);
        const FetchedWeather fetched = fetchCurrentWeather(
            guard, *m_transfer, {m_service->baseUrl(), u"San Diego"_s, u"Fahrenheit"_s, {}, true},
            [this] { return m_key; });
        QCOMPARE(fetched.outcome, FetchOutcome::Reading);

        std::optional<Forecast> came;
        askForecast(*m_transfer, fetched.forecastAddress,
                    [&came](const Forecast& forecast) { came = forecast; });
        // Asked, not waited for: the blocking transfer is free at once.
        QVERIFY(!m_transfer->isExecuting());
        QTRY_VERIFY_WITH_TIMEOUT(!m_transfer->isFetchingInBackground(), 5000);
        QCOMPARE(came.has_value(), arrives);
        if (arrives)
            QCOMPARE(came->points.size(), 2);
        QCOMPARE(m_service->requestLines(),
                 QStringList({u"GET /data/2.5/weather?q=San%20Diego&APPID=demo-key HTTP/1.1"_s,
                              u"GET /data/2.5/forecast?q=San%20Diego&APPID=demo-key HTTP/1.1"_s}));
        QVERIFY(m_recorder->messages.isEmpty());
    }

    void maximumAsLastMember() {
        m_service->setMemberOrder(sample::SampleWeatherService::MemberOrder::Older);
        QCOMPARE(getWeather(u"San Diego"_s), kWorkedExample);
    }

    // A failed fetch is reported at the fetch's line and the text is built from an empty reply.
    void unreachableService_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("key stored") << "demo-key" << kNoValues;
        QTest::newRow("no key") << ""
                                << "Please enter valid API key.";
    }
    void unreachableService() {
        QFETCH(QString, key);
        QFETCH(QString, expected);
        m_key = key;
        const QString base = QStringLiteral("http://127.0.0.1:%1").arg(test::closedLocalPort());
        QCOMPARE(getWeatherFrom(base, u"San Diego"_s), expected);
        QCOMPARE(m_recorder->messages.size(), 1);
        const QString report = m_recorder->messages.first().text;
        QVERIFY2(report.startsWith(QLatin1String("Cannot connect to the weather service: ")),
                 qPrintable(report));
        QVERIFY2(
            report.contains(QLatin1String("in Nimbrel2021/08/31.Form2.getWeather at line 102")),
            qPrintable(report));
        QCOMPARE(m_outcome, FetchOutcome::NoAnswer);
    }

    void timeLimitReported() {
        m_service->setFault(Fault::Stall);
        m_transfer->setTimeLimit(200ms);
        QCOMPARE(getWeather(u"San Diego"_s), kNoValues);
        QCOMPARE(m_recorder->messages.size(), 1);
        const QString report = m_recorder->messages.first().text;
        QVERIFY2(report.startsWith(QLatin1String("The weather service did not answer within")),
                 qPrintable(report));
        QVERIFY(report.endsWith(errorReportText(QString(), kReportName, 102)));
        QCOMPARE(m_outcome, FetchOutcome::NoAnswer);
    }

    // A fetch that starts while another is under way sends nothing and waits for the other to
    // end; both complete.
    void busyTransferSendsNothing() {
        m_service->setFault(Fault::Delay, 200ms);
        QString inner;
        bool innerSawBusy = false;
        FetchOutcome innerOutcome = FetchOutcome::Reading;
        QTimer::singleShot(20, m_service, [&] {
            innerSawBusy = m_transfer->isExecuting();
            inner = getWeather(u"London, UK"_s);
            innerOutcome = m_outcome;
        });
        const QString outer = getWeather(u"San Diego"_s);
        QCOMPARE(innerOutcome, FetchOutcome::Busy);
        QCOMPARE(m_outcome, FetchOutcome::Reading);
        QVERIFY(innerSawBusy);
        QCOMPARE(m_service->requestLines(),
                 QStringList{u"GET /data/2.5/weather?q=San%20Diego&APPID=demo-key HTTP/1.1"_s});
        QCOMPARE(inner, kNoValues);
        QCOMPARE(outer, kWorkedExample);
        QCOMPARE(m_keyReads, 3);
        QVERIFY(m_recorder->messages.isEmpty());
    }

    // The transfer's owner discards it while the fetch waits.
    void transferDeletedDuringFetch() {
        m_service->setFault(Fault::Stall);
        QTimer::singleShot(50, m_service, [this] { delete m_transfer.data(); });
        QCOMPARE(getWeather(u"San Diego"_s), kNoValues);
        QVERIFY(m_transfer.isNull());
        QCOMPARE(m_recorder->messages.size(), 1);
        QCOMPARE(m_recorder->messages.first().text,
                 errorReportText(QStringLiteral("The transfer was cancelled"), kReportName, 102));
    }
};

QTEST_GUILESS_MAIN(TestGetWeather)
#include "tst_getweather.moc"
