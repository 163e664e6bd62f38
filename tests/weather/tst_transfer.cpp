#include "apperror.h"
#include "sampleweatherservice.h"
#include "transfer.h"
#include "weatherrequest.h"
#include "weathertestsupport.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QtTest>

#include <limits>

using namespace nimbrel;
using namespace std::chrono_literals;
using Fault = sample::SampleWeatherService::Fault;

namespace {

// The description fetchBody failed with, or an empty text when it returned.
QString failureOf(Transfer& transfer, const QString& url, QString* body = nullptr) {
    try {
        const QString text = transfer.fetchBody(url);
        if (body)
            *body = text;
        return {};
    } catch (const AppError& error) {
        return error.description();
    }
}

} // namespace

class TestTransfer : public QObject {
    Q_OBJECT

private:
    QString weatherUrl(const QString& key = QStringLiteral("demo-key")) const {
        return weatherRequestUrl(m_service->baseUrl(), QStringLiteral("San Diego"), key);
    }

    sample::SampleWeatherService* m_service = nullptr;

private Q_SLOTS:
    void init() {
        m_service = new sample::SampleWeatherService;
        QVERIFY(m_service->listen());
    }
    void cleanup() {
        delete m_service;
        m_service = nullptr;
    }

    // The body whatever the status, and the status line beside it.
    void bodyForEveryStatus_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("statusLine");
        QTest::newRow("200") << 200 << QByteArray(R"({"name":"Here","cod":200})") << "200 OK";
        QTest::newRow("401") << 401 << QByteArray(R"({"cod":401, "message": "Invalid API key"})")
                             << "401 Unauthorized";
        QTest::newRow("404") << 404 << QByteArray(R"({"cod":"404","message":"city not found"})")
                             << "404 Not Found";
        QTest::newRow("429") << 429 << QByteArray(R"({"cod":429})") << "429 Too Many Requests";
        QTest::newRow("500 empty") << 500 << QByteArray() << "500 Internal Server Error";
    }
    void bodyForEveryStatus() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, statusLine);
        m_service->setFixedReply(status, body);
        Transfer transfer;
        QString text;
        QCOMPARE(failureOf(transfer, weatherUrl(), &text), QString());
        QCOMPARE(text, QString::fromUtf8(body));
        QVERIFY(!transfer.isExecuting());
        const Transfer::Answer answer = transfer.fetch(weatherUrl());
        QCOMPARE(answer.body, QString::fromUtf8(body));
        QCOMPARE(answer.status, status);
        QCOMPARE(answer.statusLine(), statusLine);
    }

    // The reply's Date lies years before this computer's clock, so a date that counted from the
    // clock would come out as no wait at all.
    void retryAfter_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("seconds");
        QTest::newRow("seconds") << QByteArray("120") << 120;
        QTest::newRow("a minute after Date") << QByteArray("Wed, 21 Oct 2015 07:29:00 GMT") << 60;
        QTest::newRow("older form") << QByteArray("Wed Oct 21 07:30:00 2015") << 120;
        QTest::newRow("past") << QByteArray("Tue, 20 Oct 2015 07:28:00 GMT") << 0;
        QTest::newRow("beyond an int")
            << QByteArray("99999999999999999999") << std::numeric_limits<int>::max();
        QTest::newRow("garbage") << QByteArray("soon") << -1;
    }
    void retryAfter() {
        QFETCH(QByteArray, value);
        QFETCH(int, seconds);
        m_service->setFixedReply(429, {});
        m_service->setExtraHeaders("Date: Wed, 21 Oct 2015 07:28:00 GMT\r\nRetry-After: " + value +
                                   "\r\n");
        QCOMPARE(Transfer().fetch(weatherUrl()).retryAfter, seconds);
    }

    void unreachableHost() {
        Transfer transfer;
        const QString failure =
            failureOf(transfer, QStringLiteral("http://127.0.0.1:%1/data/2.5/weather?q=x&APPID=y")
                                    .arg(test::closedLocalPort()));
        QVERIFY2(failure.startsWith(QLatin1String("Cannot connect to the weather service: ")),
                 qPrintable(failure));
        QVERIFY2(failure.contains(QLatin1String("refused"), Qt::CaseInsensitive),
                 qPrintable(failure));
        QVERIFY(!transfer.isExecuting());
    }

    // Only web addresses: the access manager would read files for a file: address.
    void refusesOtherSchemes_data() {
        QTest::addColumn<QString>("url");
        QTest::newRow("file") << "file:///etc/hostname";
        QTest::newRow("data") << "data:text/plain,hello";
        QTest::newRow("no host") << "http:///data/2.5/weather";
    }
    void refusesOtherSchemes() {
        QFETCH(QString, url);
        Transfer transfer;
        QString text;
        QVERIFY(!failureOf(transfer, url, &text).isEmpty());
        QVERIFY(text.isEmpty());
    }

    // A server that accepts and then says nothing cannot hold the caller beyond the limit.
    void totalTimeLimit() {
        m_service->setFault(Fault::Stall);
        Transfer transfer;
        QCOMPARE(transfer.timeLimit(), 60s);
        transfer.setTimeLimit(300ms);
        QCOMPARE(transfer.timeLimit(), 300ms);
        QElapsedTimer clock;
        clock.start();
        const QString failure = failureOf(transfer, weatherUrl());
        QVERIFY2(failure.contains(QLatin1String("0.3 seconds")), qPrintable(failure));
        QVERIFY(clock.elapsed() >= 290);
        QVERIFY(clock.elapsed() < 5000);
        QVERIFY(!transfer.isExecuting());
        QCOMPARE(m_service->requestCount(), 1);
    }

    void oversizedReplyRefused() {
        m_service->setFault(Fault::Oversized);
        Transfer transfer;
        QString text;
        const QString failure = failureOf(transfer, weatherUrl(), &text);
        QVERIFY2(failure.startsWith(QLatin1String("The reply is too large")), qPrintable(failure));
        QVERIFY(text.isEmpty());
        QVERIFY(!transfer.isExecuting());
    }

    // However the body is framed, and however well it was compressed, the transfer refuses it
    // once it passes the limit and stops reading it there.
    void floodsRefused_data() {
        using Framing = sample::SampleWeatherService::Framing;
        QTest::addColumn<Framing>("framing");
        QTest::addColumn<bool>("gzip");
        QTest::newRow("no length") << Framing::NoLength << false;
        QTest::newRow("chunked") << Framing::Chunked << false;
        QTest::newRow("announced length") << Framing::Length << false;
        QTest::newRow("gzip, chunked") << Framing::Chunked << true;
        QTest::newRow("gzip, no length") << Framing::NoLength << true;
        // The announced length is the compressed one, well under the limit.
        QTest::newRow("gzip, length") << Framing::Length << true;
    }
    void floodsRefused() {
        QFETCH(sample::SampleWeatherService::Framing, framing);
        QFETCH(bool, gzip);
        const qint64 bytes = 64 * 1024 * 1024;
        m_service->setFlood({bytes, framing, gzip});
        Transfer transfer;
        QString text;
        const QString failure = failureOf(transfer, weatherUrl(), &text);
        QVERIFY2(failure.startsWith(QLatin1String("The reply is too large")), qPrintable(failure));
        QVERIFY(text.isEmpty());
        QVERIFY(!transfer.isExecuting());
        // Compressed, the whole bomb is smaller than what the socket buffers hold.
        if (!gzip)
            QVERIFY2(m_service->floodBytesSent() < bytes / 2,
                     QByteArray::number(m_service->floodBytesSent()).constData());
    }

    // Bodies up to the limit arrive whole, however framed or compressed; with a length smaller
    // than the body, the body ends where the server said it does.
    void floodsWithinTheLimit_data() {
        using Framing = sample::SampleWeatherService::Framing;
        QTest::addColumn<Framing>("framing");
        QTest::addColumn<bool>("gzip");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<qint64>("received");
        const qint64 limit = 1024 * 1024;
        QTest::newRow("chunked, at the limit") << Framing::Chunked << false << limit << limit;
        QTest::newRow("gzip, chunked, at the limit") << Framing::Chunked << true << limit << limit;
        QTest::newRow("gzip, length") << Framing::Length << true << limit / 2 << limit / 2;
        QTest::newRow("false length") << Framing::FalseLength << false << 8 * limit
                                      << sample::SampleWeatherService::kFalseLength;
    }
    void floodsWithinTheLimit() {
        QFETCH(sample::SampleWeatherService::Framing, framing);
        QFETCH(bool, gzip);
        QFETCH(qint64, bytes);
        QFETCH(qint64, received);
        m_service->setFlood({bytes, framing, gzip});
        Transfer transfer;
        const Transfer::Answer answer = transfer.fetch(weatherUrl());
        QCOMPARE(answer.body.size(), received);
        QVERIFY(answer.body.startsWith(QLatin1String(R"({"cod":200,)")));
        QCOMPARE(answer.statusLine(), QStringLiteral("200 OK"));
    }

    void sizeLimitBoundary() {
        const QByteArray body(1000, 'x');
        m_service->setFixedReply(200, body);
        Transfer transfer;
        transfer.setSizeLimit(1000);
        QString text;
        QCOMPARE(failureOf(transfer, weatherUrl(), &text), QString());
        QCOMPARE(text.size(), 1000);
        transfer.setSizeLimit(999);
        QVERIFY(
            failureOf(transfer, weatherUrl()).startsWith(QLatin1String("The reply is too large")));
    }

    void invalidUtf8Survives() {
        m_service->setFault(Fault::NotUtf8);
        Transfer transfer;
        QString text;
        QCOMPARE(failureOf(transfer, weatherUrl(), &text), QString());
        QVERIFY(text.contains(QChar::ReplacementCharacter));
        QVERIFY(text.contains(QLatin1String("\"temp\":")));
    }

    // Busy from the start of fetchBody until the transfer ends; a second call meanwhile is refused
    // without disturbing the first.
    void stillExecutingDuringWait() {
        m_service->setFault(Fault::Delay, 200ms);
        Transfer transfer;
        QVERIFY(!transfer.isExecuting());
        bool busyWhileWaiting = false;
        QString secondFailure;
        QTimer::singleShot(20, &transfer, [&] {
            busyWhileWaiting = transfer.isExecuting();
            secondFailure = failureOf(transfer, weatherUrl());
        });
        int finishedSignals = 0;
        connect(&transfer, &Transfer::finished, this, [&] { ++finishedSignals; });
        QString text;
        QCOMPARE(failureOf(transfer, weatherUrl(), &text), QString());
        QVERIFY(busyWhileWaiting);
        QCOMPARE(secondFailure, QStringLiteral("Still executing last request"));
        QVERIFY(text.contains(QLatin1String("San Diego")));
        QVERIFY(!transfer.isExecuting());
        QCOMPARE(finishedSignals, 1);
        QCOMPARE(m_service->requestCount(), 1);
    }

    // The owner goes away while fetchBody waits (the sanitizer build runs this too).
    void deletedWhileWaiting() {
        m_service->setFault(Fault::Stall);
        QPointer<Transfer> transfer = new Transfer;
        QTimer::singleShot(50, m_service, [&] { delete transfer.data(); });
        QCOMPARE(failureOf(*transfer, weatherUrl()), QStringLiteral("The transfer was cancelled"));
        QVERIFY(transfer.isNull());
    }

    void abortedWhileWaiting() {
        m_service->setFault(Fault::Stall);
        Transfer transfer;
        QTimer::singleShot(50, &transfer, [&] {
            transfer.abort();
            m_service->setFault(Fault::None);
        });
        QCOMPARE(failureOf(transfer, weatherUrl()), QStringLiteral("The transfer was cancelled"));
        QVERIFY(!transfer.isExecuting());
        // Usable again afterwards.
        QString text;
        QCOMPARE(failureOf(transfer, weatherUrl(), &text), QString());
        QVERIFY(text.contains(QLatin1String("San Diego")));
    }

    // The program ending makes every event loop return, also the one fetchBody waits in. Kept
    // last: afterwards new event loops return at once until the application loop runs again.
    void applicationExitWhileWaiting() {
        m_service->setFault(Fault::Stall);
        Transfer transfer;
        QTimer::singleShot(50, &transfer, [] { QCoreApplication::exit(0); });
        QCOMPARE(failureOf(transfer, weatherUrl()), QStringLiteral("The transfer was cancelled"));
        QVERIFY(!transfer.isExecuting());
        // Running the application loop once clears the ending state for what follows.
        QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
        QCoreApplication::exec();
    }
};

QTEST_GUILESS_MAIN(TestTransfer)
#include "tst_transfer.moc"
