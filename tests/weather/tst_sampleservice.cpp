#include "sampleweatherservice.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStringDecoder>
#include <QTcpSocket>
#include <QTest>

#include <memory>

using nimbrel::sample::SampleWeatherService;
using namespace std::chrono_literals;

namespace {

const QByteArray kSanDiegoBody =
    R"({"coord":{"lon":-117.1573,"lat":32.7153},"weather":[{"id":800,"main":"Clear","description":"clear sky","icon":"01d"}],"base":"stations","main":{"temp":293.15,"feels_like":292.6,"temp_min":290.37,"temp_max":295.93,"pressure":1016,"humidity":55,"sea_level":1016,"grnd_level":1009},"visibility":10000,"wind":{"speed":3.6,"deg":270},"clouds":{"all":0},"dt":1733700000,"sys":{"type":2,"id":2019527,"country":"US","sunrise":1733669000,"sunset":1733705000},"timezone":-28800,"id":5391811,"name":"San Diego","cod":200})";

struct Answer {
    int status = 0;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray contentType;
    QByteArray body;
};

// A raw client: the request goes out exactly as written, and whole answers are cut out of the
// stream by their Content-Length.
class RawClient {
public:
    explicit RawClient(quint16 port) { socket.connectToHost(QHostAddress::LocalHost, port); }

    void send(const QByteArray& bytes) { socket.write(bytes); }

    // True once a complete answer (head and body) has arrived; takes nothing off the stream, so
    // QTRY may ask as often as it likes.
    bool answerReady() {
        buffer += socket.readAll();
        return answerSize() > 0;
    }

    // Takes the first complete answer off the stream.
    void takeAnswer(QByteArray* head, QByteArray* body) {
        const qsizetype size = answerSize();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        *head = size > 0 ? buffer.left(end) : QByteArray();
        *body = size > 0 ? buffer.mid(end + 4, size - end - 4) : QByteArray();
        buffer.remove(0, size);
    }

    QTcpSocket socket;
    QByteArray buffer;

private:
    qsizetype answerSize() const {
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return 0;
        static const QRegularExpression lengthLine(QStringLiteral("Content-Length: (\\d+)"));
        const auto match = lengthLine.match(QString::fromLatin1(buffer.left(end)));
        const qsizetype size = end + 4 + (match.hasMatch() ? match.captured(1).toLongLong() : 0);
        return buffer.size() >= size ? size : 0;
    }
};

} // namespace

class TestSampleService : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void successBody_data();
    void successBody();
    void errorReplies_data();
    void errorReplies();
    void numbersAsTheServiceWritesThem_data();
    void numbersAsTheServiceWritesThem();
    void queryDecoding_data();
    void queryDecoding();
    void requestLineRecordedVerbatim();
    void fixedReply();

    void delayHoldsTheAnswerBack();
    void resetGivesANetworkError();
    void stallNeverAnswers();
    void oversizedBody();
    void notUtf8Body();
    void floodFramings_data();
    void floodFramings();

    void keepAliveAndPipelining();
    void partialRequestReads();
    void oversizedHeadIsRefused();
    void clientsLeavingMidwayDoNotHurt();

    void standaloneProgram();

private:
    Answer get(const QString& pathAndQuery) { return getUrl(m_service->baseUrl() + pathAndQuery); }
    Answer getUrl(const QString& url);

    std::unique_ptr<SampleWeatherService> m_service;
    std::unique_ptr<QNetworkAccessManager> m_network;
};

void TestSampleService::init() {
    m_service = std::make_unique<SampleWeatherService>();
    QVERIFY(m_service->listen());
    QVERIFY(m_service->port() != 0);
    // The observation time kSanDiegoBody was taken at.
    m_service->setObservationTime(1733700000);
    m_network = std::make_unique<QNetworkAccessManager>();
}

void TestSampleService::cleanup() {
    m_network.reset();
    m_service.reset();
}

Answer TestSampleService::getUrl(const QString& url) {
    Answer answer;
    // QUrl keeps %20 and %2B as written, so the request goes out as the test spells it.
    std::unique_ptr<QNetworkReply> reply(m_network->get(QNetworkRequest(QUrl(url))));
    // A reply that never comes shows as OperationCanceledError in the caller's checks.
    if (!QTest::qWaitFor([&] { return reply->isFinished(); }, 5000))
        reply->abort();
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.error = reply->error();
    answer.contentType = reply->rawHeader("Content-Type");
    answer.body = reply->readAll();
    return answer;
}

void TestSampleService::successBody_data() {
    QTest::addColumn<SampleWeatherService::MemberOrder>("order");
    QTest::addColumn<QByteArray>("mainObject");
    QTest::newRow("current") << SampleWeatherService::MemberOrder::Current
                             << QByteArray(R"("main":{"temp":293.15,"feels_like":292.6,)"
                                           R"("temp_min":290.37,"temp_max":295.93,"pressure":)");
    QTest::newRow("older") << SampleWeatherService::MemberOrder::Older
                           << QByteArray(R"("main":{"temp":293.15,"pressure":1016,"humidity":55,)"
                                         R"("temp_min":290.37,"temp_max":295.93},"visibility")");
}

void TestSampleService::successBody() {
    QFETCH(SampleWeatherService::MemberOrder, order);
    QFETCH(QByteArray, mainObject);
    m_service->setMemberOrder(order);

    const Answer answer =
        get(QStringLiteral("/data/2.5/weather?q=San%20Diego%20CA&APPID=demo-key"));
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.contentType, QByteArray("application/json; charset=utf-8"));
    QVERIFY2(answer.body.contains(mainObject), answer.body.constData());
    if (order == SampleWeatherService::MemberOrder::Current)
        QCOMPARE(answer.body, kSanDiegoBody);
    QCOMPARE(QJsonDocument::fromJson(answer.body).object().value(QLatin1String("name")).toString(),
             QStringLiteral("San Diego"));

    // The markers a reader searches for, in the order the service writes them.
    qsizetype from = 0;
    for (const char* marker : {R"("description":"clear sky")", R"("temp":)", R"("temp_min":)",
                               R"("temp_max":)", R"("name":"San Diego")"}) {
        const qsizetype at = answer.body.indexOf(marker, from);
        QVERIFY2(at >= from, marker);
        from = at + 1;
    }
}

void TestSampleService::errorReplies_data() {
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    const QByteArray invalidKey =
        R"({"cod":401, "message": "Invalid API key. Please see https://openweathermap.org/faq#error401 for more info."})";
    QTest::newRow("wrong key") << "q=London,%20UK&APPID=nope" << 401 << invalidKey;
    QTest::newRow("empty key") << "q=London,%20UK&APPID=" << 401 << invalidKey;
    QTest::newRow("no key at all") << "q=London,%20UK" << 401 << invalidKey;
    QTest::newRow("blocked key")
        << "q=London,%20UK&APPID=spent" << 429
        << QByteArray(
               R"({"cod":429, "message": "Your account is temporary blocked due to exceeding of requests limitation of your subscription type. Please choose the proper subscription https://openweathermap.org/price"})");
    QTest::newRow("unknown place") << "q=Atlantis&APPID=demo-key" << 404
                                   << QByteArray(R"({"cod":"404","message":"city not found"})");
    QTest::newRow("empty place") << "q=&APPID=demo-key" << 400
                                 << QByteArray(R"({"cod":"400","message":"Nothing to geocode"})");
}

void TestSampleService::errorReplies() {
    QFETCH(QString, query);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    m_service->setBlockedKeys({QStringLiteral("spent")});
    m_service->setValidKeys({QStringLiteral("demo-key"), QStringLiteral("spent")});

    const Answer answer = get(QStringLiteral("/data/2.5/weather?") + query);
    QCOMPARE(answer.status, status);
    QCOMPARE(answer.body, body);
    QCOMPARE(answer.contentType, QByteArray("application/json; charset=utf-8"));
}

void TestSampleService::numbersAsTheServiceWritesThem_data() {
    QTest::addColumn<double>("kelvin");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("one decimal") << 285.5 << QByteArray("285.5");
    QTest::newRow("two decimals") << 293.15 << QByteArray("293.15");
    QTest::newRow("whole") << 290.0 << QByteArray("290");
    QTest::newRow("rounded to two") << 282.549999 << QByteArray("282.55");
    QTest::newRow("trailing zero dropped") << 281.10 << QByteArray("281.1");
}

void TestSampleService::numbersAsTheServiceWritesThem() {
    QFETCH(double, kelvin);
    QFETCH(QByteArray, written);
    SampleWeatherService::City city;
    city.name = QStringLiteral("Testville");
    city.temp = kelvin;
    city.tempMin = kelvin;
    city.tempMax = kelvin;
    m_service->setCity(QStringLiteral("Testville"), city);

    const Answer answer = get(QStringLiteral("/data/2.5/weather?q=testville&APPID=demo-key"));
    QCOMPARE(answer.status, 200);
    for (const QByteArray marker : {"\"temp\":", "\"temp_min\":", "\"temp_max\":"})
        QVERIFY2(answer.body.contains(QByteArray(marker + written + ',')), answer.body.constData());
}

void TestSampleService::queryDecoding_data() {
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<int>("status");
    // Keys "a+b" and "a b" are both valid; "+" must reach the service as a plus.
    QTest::newRow("%20 is a space")
        << QByteArray("/data/2.5/weather?q=New%20York&APPID=a%20b") << 200;
    QTest::newRow("%2B is a plus")
        << QByteArray("/data/2.5/weather?q=New%20York&APPID=a%2Bb") << 200;
    QTest::newRow("raw plus stays a plus")
        << QByteArray("/data/2.5/weather?q=New%20York&APPID=a+b") << 200;
    QTest::newRow("plus in place is no space")
        << QByteArray("/data/2.5/weather?q=New+York&APPID=a+b") << 404;
    QTest::newRow("case and blanks ignored")
        << QByteArray("/data/2.5/weather?q=%20%20new%20YORK%20&APPID=a+b") << 200;
    QTest::newRow("raw comma and blank")
        << QByteArray("/data/2.5/weather?q=London,%20UK&APPID=a+b") << 200;
    QTest::newRow("utf-8 percent-encoded")
        << QByteArray("/data/2.5/weather?q=Z%C3%BCrich&APPID=a+b") << 200;
    QTest::newRow("utf-8 unencoded")
        << QByteArray("/data/2.5/weather?q=Z\xC3\xBCrich&APPID=a+b") << 200;
    QTest::newRow("lower-case appid")
        << QByteArray("/data/2.5/weather?q=New%20York&appid=a+b") << 200;
    QTest::newRow("forecast") << QByteArray("/data/2.5/forecast?q=New%20York&APPID=a+b") << 200;
    QTest::newRow("other path") << QByteArray("/data/2.5/onecall?q=New%20York&APPID=a+b") << 404;
}

void TestSampleService::queryDecoding() {
    QFETCH(QByteArray, target);
    QFETCH(int, status);
    m_service->setValidKeys({QStringLiteral("a+b"), QStringLiteral("a b")});
    SampleWeatherService::City zurich;
    zurich.name = QStringLiteral("Zürich");
    m_service->setCity(QStringLiteral("Zürich"), zurich);

    RawClient client(m_service->port());
    client.send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray head;
    QByteArray body;
    QTRY_VERIFY_WITH_TIMEOUT(client.answerReady(), 5000);
    client.takeAnswer(&head, &body);
    QVERIFY2(head.startsWith(QByteArray("HTTP/1.1 " + QByteArray::number(status) + ' ')),
             head.constData());
    if (status == 200)
        QVERIFY(body.contains("\"cod\":200") || body.contains("\"cod\":\"200\""));
    if (target.contains("onecall"))
        QVERIFY(!body.contains("city not found"));
}

void TestSampleService::requestLineRecordedVerbatim() {
    QSignalSpy received(m_service.get(), &SampleWeatherService::requestReceived);
    const QString first =
        QStringLiteral("GET /data/2.5/weather?q=New%20York&APPID=x%2By+z HTTP/1.1");
    const QString second = QStringLiteral("GET /data/2.5/weather?q=London,%20UK&APPID= HTTP/1.1");

    const Answer viaNetwork = get(QStringLiteral("/data/2.5/weather?q=New%20York&APPID=x%2By+z"));
    QCOMPARE(viaNetwork.status, 401);
    RawClient raw(m_service->port());
    raw.send(second.toUtf8() + "\r\nHost: 127.0.0.1\r\n\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(m_service->requestCount(), 2, 5000);

    QCOMPARE(m_service->requestLines(), QStringList({first, second}));
    QCOMPARE(received.size(), 2);
    QCOMPARE(received.at(0).at(0).toString(), first);
    QCOMPARE(received.at(1).at(0).toString(), second);
    m_service->clearRequests();
    QCOMPARE(m_service->requestCount(), 0);
}

void TestSampleService::fixedReply() {
    m_service->setFixedReply(503, "down for maintenance");
    Answer answer = get(QStringLiteral("/anything/at/all"));
    QCOMPARE(answer.status, 503);
    QCOMPARE(answer.body, QByteArray("down for maintenance"));

    m_service->clearFixedReply();
    answer = get(QStringLiteral("/data/2.5/weather?q=San%20Diego&APPID=demo-key"));
    QCOMPARE(answer.status, 200);
}

void TestSampleService::delayHoldsTheAnswerBack() {
    m_service->setFault(SampleWeatherService::Fault::Delay, 300ms);
    QElapsedTimer clock;
    clock.start();
    const Answer answer = get(QStringLiteral("/data/2.5/weather?q=San%20Diego&APPID=demo-key"));
    QVERIFY2(clock.elapsed() >= 300, QByteArray::number(clock.elapsed()).constData());
    QCOMPARE(answer.status, 200);
    QVERIFY(answer.body.contains("\"name\":\"San Diego\""));
}

void TestSampleService::resetGivesANetworkError() {
    m_service->setFault(SampleWeatherService::Fault::Reset);
    const Answer answer = get(QStringLiteral("/data/2.5/weather?q=San%20Diego&APPID=demo-key"));
    QVERIFY(answer.error != QNetworkReply::NoError);
    QCOMPARE(answer.status, 0);
    QVERIFY(answer.body.isEmpty());
    QVERIFY(m_service->requestCount() >= 1);
}

void TestSampleService::stallNeverAnswers() {
    m_service->setFault(SampleWeatherService::Fault::Stall);
    RawClient client(m_service->port());
    QSignalSpy readable(&client.socket, &QTcpSocket::readyRead);
    QSignalSpy gone(&client.socket, &QTcpSocket::disconnected);
    client.send("GET /data/2.5/weather?q=San%20Diego&APPID=demo-key HTTP/1.1\r\n\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(m_service->requestCount(), 1, 5000);

    // Lifting the fault does not release an answer already held back.
    m_service->setFault(SampleWeatherService::Fault::None);
    QVERIFY(!readable.wait(300));
    QVERIFY(readable.isEmpty());
    QCOMPARE(client.socket.bytesAvailable(), qint64(0));
    QCOMPARE(gone.size(), 0);
    QCOMPARE(client.socket.state(), QAbstractSocket::ConnectedState);
}

void TestSampleService::oversizedBody() {
    m_service->setFault(SampleWeatherService::Fault::Oversized);
    const Answer answer = get(QStringLiteral("/data/2.5/weather?q=San%20Diego&APPID=demo-key"));
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.body.size(), 2 * 1024 * 1024);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(answer.body, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(document.object().value(QLatin1String("name")).toString(),
             QStringLiteral("San Diego"));
}

void TestSampleService::notUtf8Body() {
    m_service->setFault(SampleWeatherService::Fault::NotUtf8);
    const Answer answer = get(QStringLiteral("/data/2.5/weather?q=San%20Diego&APPID=demo-key"));
    QCOMPARE(answer.status, 200);
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(answer.body);
    QVERIFY(decoder.hasError());
    // Only the bad bytes differ from a normal body.
    QByteArray cleaned = answer.body;
    cleaned.replace("\xFF\xFE", "");
    QCOMPARE(cleaned, kSanDiegoBody);
    QVERIFY(text.contains(QStringLiteral("\"temp_max\":295.93,")));
}

void TestSampleService::floodFramings_data() {
    QTest::addColumn<SampleWeatherService::Framing>("framing");
    QTest::addColumn<bool>("gzip");
    using Framing = SampleWeatherService::Framing;
    QTest::newRow("length") << Framing::Length << false;
    QTest::newRow("no length") << Framing::NoLength << false;
    QTest::newRow("false length") << Framing::FalseLength << false;
    QTest::newRow("chunked") << Framing::Chunked << false;
    QTest::newRow("gzip, length") << Framing::Length << true;
    QTest::newRow("gzip, no length") << Framing::NoLength << true;
    QTest::newRow("gzip, chunked") << Framing::Chunked << true;
}

// What the client makes of each framing; gzip bodies go through Qt's own decompression, which
// checks every bit and the checksum.
void TestSampleService::floodFramings() {
    QFETCH(SampleWeatherService::Framing, framing);
    QFETCH(bool, gzip);
    const qint64 bytes = 3 * 1024 * 1024 + 7;
    m_service->setFlood({bytes, framing, gzip});

    const Answer answer = get(QStringLiteral("/anything"));
    QCOMPARE(answer.error, QNetworkReply::NoError);
    QCOMPARE(answer.status, 200);
    const bool cut = framing == SampleWeatherService::Framing::FalseLength;
    QCOMPARE(answer.body.size(), cut ? SampleWeatherService::kFalseLength : bytes);
    QVERIFY(answer.body.startsWith(R"({"cod":200,"padding":"xxx)"));
    if (!cut)
        QVERIFY(answer.body.endsWith(R"(xxx"})"));
    const qsizetype first = answer.body.indexOf('x');
    const QByteArray run = answer.body.mid(first, answer.body.size() - first - (cut ? 0 : 2));
    QCOMPARE(run.count('x'), run.size());
    // A bomb: the wire carries a small fraction of the body.
    if (gzip)
        QVERIFY2(m_service->floodBytesSent() < bytes / 100,
                 QByteArray::number(m_service->floodBytesSent()).constData());
    else if (!cut)
        QVERIFY(m_service->floodBytesSent() >= bytes);
}

void TestSampleService::keepAliveAndPipelining() {
    RawClient client(m_service->port());
    QSignalSpy gone(&client.socket, &QTcpSocket::disconnected);
    const QByteArray request =
        "GET /data/2.5/weather?q=San%20Diego&APPID=demo-key HTTP/1.1\r\nHost: x\r\n\r\n";
    QByteArray head;
    QByteArray body;

    client.send(request);
    QTRY_VERIFY_WITH_TIMEOUT(client.answerReady(), 5000);
    client.takeAnswer(&head, &body);
    QVERIFY(head.contains("Connection: keep-alive"));
    QCOMPARE(body, kSanDiegoBody);

    // Second request on the same socket, then two at once, one of them with a body to skip.
    client.send(request);
    QTRY_VERIFY_WITH_TIMEOUT(client.answerReady(), 5000);
    client.takeAnswer(&head, &body);
    QCOMPARE(body, kSanDiegoBody);
    client.send("POST /data/2.5/weather HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello" +
                QByteArray("GET /data/2.5/weather?q=Atlantis&APPID=demo-key HTTP/1.1\r\n"
                           "Connection: close\r\n\r\n"));
    QTRY_VERIFY_WITH_TIMEOUT(client.answerReady(), 5000);
    client.takeAnswer(&head, &body);
    QVERIFY(head.startsWith("HTTP/1.1 405 "));
    QTRY_VERIFY_WITH_TIMEOUT(client.answerReady(), 5000);
    client.takeAnswer(&head, &body);
    QVERIFY(head.contains("Connection: close"));
    QCOMPARE(body, QByteArray(R"({"cod":"404","message":"city not found"})"));
    QTRY_COMPARE_WITH_TIMEOUT(gone.size(), 1, 5000);
    QCOMPARE(m_service->requestCount(), 4);
}

void TestSampleService::partialRequestReads() {
    RawClient client(m_service->port());
    const QByteArray request =
        "GET /data/2.5/weather?q=London,%20UK&APPID=demo-key HTTP/1.1\r\nHost: x\r\n\r\n";
    // Cut inside the request line and inside the closing blank line.
    for (const QByteArray& piece : {request.left(20), request.mid(20, request.size() - 22)}) {
        client.send(piece);
        QTRY_COMPARE_WITH_TIMEOUT(client.socket.bytesToWrite(), qint64(0), 5000);
        QCoreApplication::processEvents();
        QCOMPARE(m_service->requestCount(), 0);
    }
    client.send(request.right(2));
    QByteArray head;
    QByteArray body;
    QTRY_VERIFY_WITH_TIMEOUT(client.answerReady(), 5000);
    client.takeAnswer(&head, &body);
    QVERIFY(body.contains("\"name\":\"London\""));
    QCOMPARE(m_service->requestLines(),
             QStringList(
                 QStringLiteral("GET /data/2.5/weather?q=London,%20UK&APPID=demo-key HTTP/1.1")));
}

void TestSampleService::oversizedHeadIsRefused() {
    RawClient client(m_service->port());
    QSignalSpy gone(&client.socket, &QTcpSocket::disconnected);
    client.send("GET /data/2.5/weather HTTP/1.1\r\nX-Filler: " + QByteArray(70 * 1024, 'a'));
    QByteArray head;
    QByteArray body;
    QTRY_VERIFY_WITH_TIMEOUT(client.answerReady(), 5000);
    client.takeAnswer(&head, &body);
    QVERIFY2(head.startsWith("HTTP/1.1 431 "), head.constData());
    QTRY_COMPARE_WITH_TIMEOUT(gone.size(), 1, 5000);
    QCOMPARE(m_service->requestCount(), 0);
}

void TestSampleService::clientsLeavingMidwayDoNotHurt() {
    {
        RawClient halfWay(m_service->port());
        halfWay.send("GET /data/2.5/wea");
        QTRY_COMPARE_WITH_TIMEOUT(halfWay.socket.bytesToWrite(), qint64(0), 5000);
    }
    m_service->setFault(SampleWeatherService::Fault::Delay, 100ms);
    {
        RawClient impatient(m_service->port());
        impatient.send("GET /data/2.5/weather?q=San%20Diego&APPID=demo-key HTTP/1.1\r\n\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(m_service->requestCount(), 1, 5000);
    }
    // The held answer finds its client gone; the service goes on serving.
    const Answer answer = get(QStringLiteral("/data/2.5/weather?q=San%20Diego&APPID=demo-key"));
    QCOMPARE(answer.status, 200);
    QCOMPARE(m_service->requestCount(), 2);
}

void TestSampleService::standaloneProgram() {
#ifndef NIMBREL_SAMPLE_SERVICE_PROGRAM
    QSKIP("the standalone program is built only where it is used: on Linux");
#else
    QProcess program;
    program.start(QStringLiteral(NIMBREL_SAMPLE_SERVICE_PROGRAM),
                  {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--key"),
                   QStringLiteral("k1")});
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += program.readAllStandardOutput()).endsWith('\n'), 5000);
    static const QRegularExpression announcement(
        QStringLiteral("^listening on http://127\\.0\\.0\\.1:(\\d+)\n$"));
    const auto match = announcement.match(QString::fromLatin1(output));
    QVERIFY2(match.hasMatch(), output.constData());
    const QString base = QStringLiteral("http://127.0.0.1:") + match.captured(1);

    const QString query = base + QStringLiteral("/data/2.5/weather?q=New%20York&APPID=");
    QCOMPARE(getUrl(query + QStringLiteral("k1")).status, 200);
    // A key given on the command line replaces the default one.
    QCOMPARE(getUrl(query + QStringLiteral("demo-key")).status, 401);

    program.terminate();
    QTRY_COMPARE_WITH_TIMEOUT(program.state(), QProcess::NotRunning, 5000);
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
#endif
}

QTEST_GUILESS_MAIN(TestSampleService)
#include "tst_sampleservice.moc"
