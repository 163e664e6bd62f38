#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <chrono>
#include <memory>
#include <optional>

class QTcpServer;
class QTcpSocket;

namespace nimbrel::sample {

// A loopback HTTP/1.1 server that answers /data/2.5/weather and /data/2.5/forecast the way the
// real service does.
// Used in-process by tests and benchmarks, and by the standalone program for the demo.
class SampleWeatherService : public QObject {
    Q_OBJECT
public:
    // Delay: answers after the given time. Stall: never answers, keeps the connection open.
    // Reset: drops the connection without a word. Oversized: the body is padded to exactly
    // 2 MiB and stays valid JSON. NotUtf8: the place name of a weather body ends with the bytes
    // 0xFF 0xFE, which no UTF-8 text holds (other bodies are left as they are). Flood: the
    // answer set by setFlood(), whatever was asked.
    enum class Fault { None, Delay, Stall, Reset, Oversized, NotUtf8, Flood };
    enum class MemberOrder { Current, Older }; // Older: temp_max is the last member of "main"

    // How a flood's body is delimited on the wire. FalseLength announces kFalseLength bytes and
    // sends the whole body all the same.
    enum class Framing { Length, NoLength, FalseLength, Chunked };
    static constexpr qint64 kFalseLength = 1000;
    // A 200 answer whose body is `bytes` long before compression: the start of a JSON object
    // followed by a run of one letter, so that gzip turns it into a small bomb. It is produced
    // only as fast as the client takes it, so even gigabytes cost the service next to nothing,
    // and the connection closes after it.
    struct Flood {
        qint64 bytes = 0;
        Framing framing = Framing::Chunked;
        bool gzip = false;
    };

    struct City {
        QString name;         // as the service spells it, e.g. "San Diego"
        double temp = 293.15; // kelvin
        double tempMin = 290.37;
        double tempMax = 295.93;
        QString description = QStringLiteral("clear sky");
    };

    // One point of the 5-day / 3-hour forecast: its time in Unix seconds, its temperature and,
    // when it differs from the city's, its weather and chance of precipitation.
    struct ForecastPoint {
        qint64 dt = 0;
        double temp = 293.15;     // kelvin
        QString description = {}; // NOLINT(readability-redundant-member-init)
        double pop = 0;
    };
    struct Forecast {
        int timezone = 0; // the place's offset from UTC in seconds, as city.timezone
        QList<ForecastPoint> points;
    };

    explicit SampleWeatherService(QObject* parent = nullptr);
    ~SampleWeatherService() override;

    // Port 0 picks a free one. Listens on 127.0.0.1 only.
    bool listen(quint16 port = 0);
    quint16 port() const;
    QString baseUrl() const; // "http://127.0.0.1:<port>"

    // Keys the service accepts (default: "demo-key"); any other key, empty included, gets 401.
    void setValidKeys(const QStringList& keys);
    // Keys whose account is blocked: 429.
    void setBlockedKeys(const QStringList& keys);
    // Places it knows, matched on q without regard to case and surrounding blanks.
    // Default: "San Diego CA", "San Diego", "London,UK", "London, UK", "New York".
    void setCity(const QString& query, const City& city);
    // The forecast's points for a place that setCity knows (same matching). Without one, the
    // forecast holds no point, unless made-up forecasts are on: then every three hours for five
    // days from the next three-hour mark after the request, in a daily swing that peaks in the
    // place's afternoon and passes through the city's current temperature at the time of the
    // request. Off by default, since a made-up day depends on the clock of the run.
    void setForecast(const QString& query, const Forecast& forecast);
    void setMadeUpForecast(bool on);
    void setMemberOrder(MemberOrder order);
    // Applies to every following request until set back to Fault::None.
    void setFault(Fault fault, std::chrono::milliseconds delay = std::chrono::milliseconds(0));
    // Answers every following request with this status and body, whatever was asked.
    void setFixedReply(int status, const QByteArray& body);
    void clearFixedReply();
    // The observation time ("dt", Unix seconds) of the readings it gives from now on; nothing
    // (the default) gives the time of answering, as a service that is up to date does.
    void setObservationTime(std::optional<qint64> secondsSinceEpoch);
    // A Retry-After header of this many seconds on every following answer; -1 (the default)
    // sends none.
    void setRetryAfter(int seconds);
    // Header lines ("Name: value\r\n" each) added to every following answer, as given, so a
    // test can send what this service would never write itself; empty (the default) adds none.
    void setExtraHeaders(const QByteArray& lines);
    // Sets the flood and the fault Fault::Flood.
    void setFlood(const Flood& flood);
    // Body bytes (as sent, so compressed when gzip) that went out in floods so far.
    qint64 floodBytesSent() const;

    // Request lines as received ("GET /data/2.5/weather?q=...&APPID=... HTTP/1.1"), read as UTF-8.
    QStringList requestLines() const;
    int requestCount() const;
    // Requests for the current weather alone, and for the forecast alone.
    int weatherRequestCount() const;
    int forecastRequestCount() const;
    void clearRequests();

Q_SIGNALS:
    // Emitted once the head of a request is complete and before it is answered, so a receiver
    // may still change the reply (fault, fixed reply) for this very request.
    void requestReceived(const QString& requestLine);

private:
    class FloodWriter;
    struct Connection {
        QByteArray buffer;                  // received bytes not yet taken as a request
        qint64 bodyToSkip = 0;              // request body bytes still to be thrown away
        bool busy = false;                  // an answer is held back (delay, stall)
        bool closing = false;               // the last answer said "Connection: close"
        std::shared_ptr<FloodWriter> flood; // the flood still being written
    };

    void acceptConnections();
    void readFrom(QTcpSocket* socket);
    void forget(QTcpSocket* socket);
    void serve(QTcpSocket* socket);
    void sendHeldAnswer(QTcpSocket* socket, const QByteArray& answer, bool close);
    void startFlood(QTcpSocket* socket);
    void pumpFlood(QTcpSocket* socket);
    QByteArray replyBody(const QByteArray& target, int& status) const;

    QTcpServer* m_server = nullptr;
    QHash<QTcpSocket*, Connection> m_connections;
    QStringList m_validKeys;
    QStringList m_blockedKeys;
    QHash<QString, City> m_cities; // keyed by the trimmed, case-folded query
    QHash<QString, Forecast> m_forecasts;
    bool m_madeUpForecast = false;
    MemberOrder m_memberOrder = MemberOrder::Current;
    Fault m_fault = Fault::None;
    std::chrono::milliseconds m_delay{0};
    bool m_hasFixedReply = false;
    int m_fixedStatus = 200;
    QByteArray m_fixedBody;
    Flood m_flood;
    std::optional<qint64> m_observationTime;
    int m_retryAfter = -1;
    QByteArray m_extraHeaders;
    qint64 m_floodBytesSent = 0;
    QStringList m_requestLines;
};

} // namespace nimbrel::sample
