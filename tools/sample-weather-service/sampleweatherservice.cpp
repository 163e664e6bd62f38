#include "sampleweatherservice.h"

#include <QDateTime>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimeZone>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <utility>

namespace nimbrel::sample {

namespace {

// A request head larger than this is refused; the client has gone astray.
constexpr qsizetype kMaxHeadSize = qsizetype(64) * 1024;
// Bytes a client may queue behind a held-back answer before it is cut off.
constexpr qsizetype kMaxQueued = 4 * kMaxHeadSize;
constexpr qsizetype kOversizedBody = qsizetype(2) * 1024 * 1024;
// A flood is produced in blocks of this size, and only while the socket holds less than
// kFloodBacklog unsent bytes.
constexpr qint64 kFloodBlock = qint64(1024) * 1024;
constexpr qint64 kFloodBacklog = qint64(4) * 1024 * 1024;

const QByteArray kWeatherPath = QByteArrayLiteral("/data/2.5/weather");
const QByteArray kForecastPath = QByteArrayLiteral("/data/2.5/forecast");
// The free forecast: a point every three hours for five days.
constexpr qint64 kForecastStep = qint64(3) * 3600;
constexpr int kForecastPoints = 40;

const QByteArray kInvalidKeyBody = QByteArrayLiteral(
    R"({"cod":401, "message": "Invalid API key. Please see https://openweathermap.org/faq#error401 for more info."})");
const QByteArray kCityNotFoundBody =
    QByteArrayLiteral(R"({"cod":"404","message":"city not found"})");
const QByteArray kBlockedBody = QByteArrayLiteral(
    R"({"cod":429, "message": "Your account is temporary blocked due to exceeding of requests limitation of your subscription type. Please choose the proper subscription https://openweathermap.org/price"})");
const QByteArray kNothingToGeocodeBody =
    QByteArrayLiteral(R"({"cod":"400","message":"Nothing to geocode"})");
const QByteArray kNoSuchPathBody = QByteArrayLiteral(R"({"cod":404,"message":"not found"})");
const QByteArray kBadMethodBody =
    QByteArrayLiteral(R"({"cod":405,"message":"method not allowed"})");
const QByteArray kBadRequestBody = QByteArrayLiteral(R"({"cod":400,"message":"bad request"})");
const QByteArray kHeadTooLargeBody =
    QByteArrayLiteral(R"({"cod":431,"message":"request header fields too large"})");

// Where a place is and what the service files it under; only the names it knows by default have
// real figures, others get neutral ones.
struct Place {
    double lon = 0;
    double lat = 0;
    int id = 0;
    QByteArray country;
    int timezone = 0;
    qint64 sunrise = 1733669000;
    qint64 sunset = 1733705000;
};

Place placeFor(const QString& name) {
    if (name == QLatin1String("San Diego"))
        return {-117.1573, 32.7153, 5391811, "US", -28800, 1733669000, 1733705000};
    if (name == QLatin1String("London"))
        return {-0.1257, 51.5085, 2643743, "GB", 0, 1733644800, 1733673200};
    if (name == QLatin1String("New York"))
        return {-74.006, 40.7143, 5128581, "US", -18000, 1733659200, 1733693400};
    Place place;
    place.id = 1000000 + int(qHash(name, 0) % 8000000);
    return place;
}

// The condition code, group and icon the service pairs with a description.
struct Condition {
    int id;
    const char* main;
    const char* icon;
    int clouds;
};

Condition conditionFor(const QString& description) {
    struct Entry {
        const char* description;
        Condition condition;
    };
    static const Entry table[] = {
        {"clear sky", {800, "Clear", "01d", 0}},
        {"few clouds", {801, "Clouds", "02d", 20}},
        {"scattered clouds", {802, "Clouds", "03d", 40}},
        {"broken clouds", {803, "Clouds", "04d", 75}},
        {"overcast clouds", {804, "Clouds", "04d", 100}},
        {"light intensity drizzle", {300, "Drizzle", "09d", 90}},
        {"light rain", {500, "Rain", "10d", 75}},
        {"moderate rain", {501, "Rain", "10d", 90}},
        {"light snow", {600, "Snow", "13d", 90}},
        {"mist", {701, "Mist", "50d", 75}},
        {"thunderstorm", {211, "Thunderstorm", "11d", 90}},
    };
    for (const Entry& entry : table) {
        if (description.compare(QLatin1String(entry.description), Qt::CaseInsensitive) == 0)
            return entry.condition;
    }
    return {804, "Clouds", "04d", 100};
}

// The service writes at most two decimals and drops trailing zeros: 285.5, 293.15, 290.
QByteArray number(double value) {
    QByteArray text = QByteArray::number(value, 'f', 2);
    while (text.endsWith('0'))
        text.chop(1);
    if (text.endsWith('.'))
        text.chop(1);
    if (text == "-0")
        text = "0";
    return text;
}

// Coordinates keep their four decimals.
QByteArray coordinate(double value) {
    return QByteArray::number(value, 'g', 10);
}

QByteArray jsonString(const QString& text) {
    QByteArray out = "\"";
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                out += "\\u00" +
                       QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
            else
                out += c;
        }
    }
    return out + '"';
}

QByteArray weatherBody(const SampleWeatherService::City& city,
                       SampleWeatherService::MemberOrder order, qint64 observedAt) {
    const Place place = placeFor(city.name);
    const Condition condition = conditionFor(city.description);
    const bool current = order == SampleWeatherService::MemberOrder::Current;

    QByteArray body =
        "{\"coord\":{\"lon\":" + coordinate(place.lon) + ",\"lat\":" + coordinate(place.lat) +
        "},\"weather\":[{\"id\":" + QByteArray::number(condition.id) + ",\"main\":\"" +
        condition.main + "\",\"description\":" + jsonString(city.description) + ",\"icon\":\"" +
        condition.icon + "\"}],\"base\":\"stations\",\"main\":{\"temp\":" + number(city.temp);
    if (current) {
        body += ",\"feels_like\":" + number(city.temp - 0.55) +
                ",\"temp_min\":" + number(city.tempMin) + ",\"temp_max\":" + number(city.tempMax) +
                ",\"pressure\":1016,\"humidity\":55,\"sea_level\":1016,\"grnd_level\":1009}";
    } else {
        // The older layout put the extremes last, so temp_max is followed by a brace.
        body += ",\"pressure\":1016,\"humidity\":55,\"temp_min\":" + number(city.tempMin) +
                ",\"temp_max\":" + number(city.tempMax) + "}";
    }
    body += ",\"visibility\":10000,\"wind\":{\"speed\":3.6,\"deg\":270},\"clouds\":{\"all\":" +
            QByteArray::number(condition.clouds) + "},\"dt\":" + QByteArray::number(observedAt) +
            ",\"sys\":{";
    body += current ? "\"type\":2,\"id\":2019527," : "\"type\":1,\"id\":5771,\"message\":0.0052,";
    if (!place.country.isEmpty())
        body += "\"country\":\"" + place.country + "\",";
    body += "\"sunrise\":" + QByteArray::number(place.sunrise) +
            ",\"sunset\":" + QByteArray::number(place.sunset) + "},";
    if (current)
        body += "\"timezone\":" + QByteArray::number(place.timezone) + ",";
    body += "\"id\":" + QByteArray::number(place.id) + ",\"name\":" + jsonString(city.name) +
            ",\"cod\":200}";
    return body;
}

// The hour of the day at the place, 0 to 24.
double localHour(qint64 time, int timezone) {
    constexpr qint64 day = qint64(24) * 3600;
    return double(((time + timezone) % day + day) % day) / 3600.0;
}

// Between -1 at 03:00 and 1 at 15:00, local time at the place.
double dailyWave(qint64 time, int timezone) {
    return std::cos((localHour(time, timezone) - 15.0) * std::numbers::pi / 12.0);
}

SampleWeatherService::Forecast madeUpForecast(const SampleWeatherService::City& city, qint64 now) {
    SampleWeatherService::Forecast forecast;
    forecast.timezone = placeFor(city.name).timezone;
    // The reply's spread and a little more: a day is wider than one moment across a city.
    const double swing = std::max((city.tempMax - city.tempMin) / 2 + 2, 3.0);
    const double waveNow = dailyWave(now, forecast.timezone);
    const qint64 first = (now / kForecastStep + 1) * kForecastStep;
    // Today as the city has it; the days after it take turns, so a forecast strip shows some
    // weather worth telling apart.
    struct Turn {
        const char* description;
        double pop;
    };
    static const Turn turns[] = {
        {"few clouds", 0.1}, {"light rain", 0.7}, {"thunderstorm", 0.8}, {"scattered clouds", 0.2}};
    const qint64 today = (now + forecast.timezone) / (qint64(24) * 3600);
    for (int i = 0; i < kForecastPoints; ++i) {
        const qint64 time = first + i * kForecastStep;
        SampleWeatherService::ForecastPoint point{
            time, city.temp + swing * (dailyWave(time, forecast.timezone) - waveNow), {}, 0};
        const qint64 day = (time + forecast.timezone) / (qint64(24) * 3600) - today;
        if (day > 0) {
            const Turn& turn = turns[(day - 1) % 4];
            point.description = QLatin1String(turn.description);
            point.pop = turn.pop;
        }
        forecast.points.append(point);
    }
    return forecast;
}

QByteArray forecastBody(const SampleWeatherService::City& city,
                        const SampleWeatherService::Forecast& forecast) {
    const Place place = placeFor(city.name);
    QByteArray body =
        "{\"cod\":\"200\",\"message\":0,\"cnt\":" + QByteArray::number(forecast.points.size()) +
        ",\"list\":[";
    for (qsizetype i = 0; i < forecast.points.size(); ++i) {
        const SampleWeatherService::ForecastPoint& point = forecast.points.at(i);
        const QString& description =
            point.description.isEmpty() ? city.description : point.description;
        const Condition condition = conditionFor(description);
        const double hour = localHour(point.dt, forecast.timezone);
        const bool day = hour >= 6.0 && hour < 18.0;
        QByteArray icon = condition.icon;
        icon.back() = day ? 'd' : 'n';
        if (i > 0)
            body += ',';
        body += "{\"dt\":" + QByteArray::number(point.dt) +
                ",\"main\":{\"temp\":" + number(point.temp) +
                ",\"feels_like\":" + number(point.temp - 0.55) +
                ",\"temp_min\":" + number(point.temp) + ",\"temp_max\":" + number(point.temp) +
                ",\"pressure\":1016,\"sea_level\":1016,\"grnd_level\":1009,\"humidity\":55,"
                "\"temp_kf\":0},\"weather\":[{\"id\":" +
                QByteArray::number(condition.id) + ",\"main\":\"" + condition.main +
                "\",\"description\":" + jsonString(description) + ",\"icon\":\"" + icon +
                "\"}],\"clouds\":{\"all\":" + QByteArray::number(condition.clouds) +
                "},\"wind\":{\"speed\":3.6,\"deg\":270,\"gust\":4.2},\"visibility\":10000,"
                "\"pop\":" +
                number(point.pop) + ",\"sys\":{\"pod\":\"" + (day ? "d" : "n") +
                "\"},\"dt_txt\":\"" +
                QDateTime::fromSecsSinceEpoch(point.dt, QTimeZone::utc())
                    .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                    .toLatin1() +
                "\"}";
    }
    body += "],\"city\":{\"id\":" + QByteArray::number(place.id) +
            ",\"name\":" + jsonString(city.name) + ",\"coord\":{\"lat\":" + coordinate(place.lat) +
            ",\"lon\":" + coordinate(place.lon) + "},";
    if (!place.country.isEmpty())
        body += "\"country\":\"" + place.country + "\",";
    body += "\"population\":0,\"timezone\":" + QByteArray::number(forecast.timezone) +
            ",\"sunrise\":" + QByteArray::number(place.sunrise) +
            ",\"sunset\":" + QByteArray::number(place.sunset) + "}}";
    return body;
}

// Pads a body to exactly 2 MiB, inside the object when it is one so it still parses.
QByteArray oversized(QByteArray body) {
    if (body.endsWith('}') && body.size() > 2) {
        const QByteArray open = ",\"padding\":\"";
        const qsizetype fill = kOversizedBody - body.size() - open.size() - 1;
        body.chop(1);
        body += open + QByteArray(qMax<qsizetype>(fill, 0), 'x') + "\"}";
    } else {
        body += QByteArray(qMax<qsizetype>(kOversizedBody - body.size(), 0), ' ');
    }
    return body;
}

QByteArray reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

// extraHeaders: whole header lines, each ending in CRLF.
QByteArray response(int status, const QByteArray& body, bool close,
                    const QByteArray& extraHeaders = {}) {
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) +
           "\r\nServer: sample-weather-service\r\n" + extraHeaders +
           "Content-Type: application/json; charset=utf-8\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: " + (close ? "close" : "keep-alive") +
           "\r\n\r\n" + body;
}

// A gzip member written by hand, so the service needs no compression library: deflate with the
// fixed codes, every byte a literal except repeats of the previous byte, which become copies of
// 258 bytes from one byte back. A run of one letter shrinks about 150 times.
class GzipRuns {
public:
    QByteArray header() const { return QByteArray::fromHex("1f8b0800000000000003"); }

    QByteArray encode(const QByteArray& input) {
        for (const char c : input) {
            const auto byte = static_cast<uchar>(c);
            m_crc = crcTable()[(m_crc ^ byte) & 0xFF] ^ (m_crc >> 8);
            ++m_size;
            if (!m_started) {
                m_started = true;
                bits(0, 1); // not the last block
                bits(1, 2); // fixed codes
            }
            if (m_havePrevious && byte == m_previous) {
                if (++m_run == 258) {
                    code(0xC5, 8); // length 258
                    code(0, 5);    // distance 1
                    m_run = 0;
                }
                continue;
            }
            flushRun();
            literal(byte);
            m_previous = byte;
            m_havePrevious = true;
        }
        return takeBytes();
    }

    QByteArray finish() {
        if (!m_started) {
            bits(0, 1);
            bits(1, 2);
        }
        flushRun();
        code(0, 7); // end of block
        bits(1, 1); // the last block, empty
        bits(1, 2);
        code(0, 7);
        if (m_bitCount > 0)
            bits(0, 8 - m_bitCount);
        QByteArray out = takeBytes();
        const quint32 crc = m_crc ^ 0xFFFFFFFFu;
        for (const quint32 value : {crc, m_size})
            for (int shift = 0; shift < 32; shift += 8)
                out += char((value >> shift) & 0xFF);
        return out;
    }

private:
    static const std::array<quint32, 256>& crcTable() {
        static const std::array<quint32, 256> table = [] {
            std::array<quint32, 256> t{};
            for (quint32 n = 0; n < 256; ++n) {
                quint32 c = n;
                for (int k = 0; k < 8; ++k)
                    c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
                t[n] = c;
            }
            return t;
        }();
        return table;
    }

    // Deflate packs from the lowest bit up; Huffman codes go in from their highest bit.
    void bits(quint32 value, int count) {
        for (int i = 0; i < count; ++i)
            pushBit((value >> i) & 1);
    }
    void code(quint32 value, int length) {
        for (int i = length - 1; i >= 0; --i)
            pushBit((value >> i) & 1);
    }
    void pushBit(quint32 bit) {
        m_byte |= uchar(bit << m_bitCount);
        if (++m_bitCount == 8) {
            m_bytes += char(m_byte);
            m_byte = 0;
            m_bitCount = 0;
        }
    }
    void literal(uchar byte) {
        if (byte < 144)
            code(0x30 + byte, 8);
        else
            code(0x190 + (byte - 144), 9);
    }
    void flushRun() {
        for (; m_run > 0; --m_run)
            literal(m_previous);
    }
    QByteArray takeBytes() { return std::exchange(m_bytes, QByteArray()); }

    QByteArray m_bytes;
    uchar m_byte = 0;
    int m_bitCount = 0;
    bool m_started = false;
    bool m_havePrevious = false;
    uchar m_previous = 0;
    int m_run = 0;
    quint32 m_crc = 0xFFFFFFFFu;
    quint32 m_size = 0; // modulo 2^32, as gzip keeps it
};

QByteArray chunk(const QByteArray& data) {
    return QByteArray::number(data.size(), 16) + "\r\n" + data + "\r\n";
}

QString queryKey(const QString& text) {
    return text.trimmed().toCaseFolded();
}

// The query value under a name (first one wins), percent-decoded as UTF-8. A "+" is a plus.
QString queryValue(const QByteArray& query, const char* name) {
    for (const QByteArray& pair : query.split('&')) {
        const qsizetype eq = pair.indexOf('=');
        const QByteArray key = eq < 0 ? pair : pair.left(eq);
        if (qstricmp(QByteArray::fromPercentEncoding(key).constData(), name) == 0)
            return eq < 0 ? QString()
                          : QString::fromUtf8(QByteArray::fromPercentEncoding(pair.mid(eq + 1)));
    }
    return {};
}

struct RequestHead {
    QByteArray line;
    QByteArray method;
    QByteArray target;
    bool wellFormed = false;
    bool keepAlive = true;
    bool chunked = false;
    bool lengthValid = true;
    qint64 contentLength = 0;
};

RequestHead parseHead(const QByteArray& head) {
    RequestHead request;
    const QList<QByteArray> lines = head.split('\n');
    request.line = lines.first();
    if (request.line.endsWith('\r'))
        request.line.chop(1);
    const QList<QByteArray> parts = request.line.split(' ');
    if (parts.size() != 3 || parts[0].isEmpty() || parts[1].isEmpty() ||
        !parts[2].startsWith("HTTP/1."))
        return request;
    request.wellFormed = true;
    request.method = parts[0];
    request.target = parts[1];
    request.keepAlive = parts[2] != "HTTP/1.0";
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed().toLower();
        if (name == "content-length") {
            bool ok = false;
            request.contentLength = value.toLongLong(&ok);
            request.lengthValid = ok && request.contentLength >= 0;
        } else if (name == "transfer-encoding") {
            request.chunked = value != "identity";
        } else if (name == "connection") {
            if (value.contains("close"))
                request.keepAlive = false;
            else if (value.contains("keep-alive"))
                request.keepAlive = true;
        }
    }
    return request;
}

} // namespace

// Produces one flood's body piece by piece, as it goes on the wire.
class SampleWeatherService::FloodWriter {
public:
    explicit FloodWriter(const Flood& flood) : m_flood(flood) {}

    // What a Length framing announces: the body as sent, so compressed when gzip. A gzip flood
    // is compressed once for nothing to learn it.
    static qint64 wireSize(const Flood& flood) {
        if (!flood.gzip)
            return flood.bytes;
        Flood plain = flood;
        plain.framing = Framing::NoLength;
        FloodWriter counter(plain);
        qint64 size = 0;
        for (QByteArray piece = counter.next(); !piece.isEmpty(); piece = counter.next())
            size += piece.size();
        return size;
    }

    QByteArray head() const {
        QByteArray head = "HTTP/1.1 200 OK\r\nServer: sample-weather-service\r\n"
                          "Content-Type: application/json; charset=utf-8\r\n";
        if (m_flood.gzip)
            head += "Content-Encoding: gzip\r\n";
        switch (m_flood.framing) {
        case Framing::Length:
            head += "Content-Length: " + QByteArray::number(wireSize(m_flood)) + "\r\n";
            break;
        case Framing::FalseLength:
            head += "Content-Length: " + QByteArray::number(kFalseLength) + "\r\n";
            break;
        case Framing::Chunked:
            head += "Transfer-Encoding: chunked\r\n";
            break;
        case Framing::NoLength:
            break;
        }
        return head + "Connection: close\r\n\r\n";
    }

    // The next piece for the wire; empty once everything has been handed out.
    QByteArray next() {
        if (m_finished)
            return {};
        const QByteArray piece = m_flood.gzip ? nextCompressed() : nextPlain();
        const bool chunked = m_flood.framing == Framing::Chunked;
        if (piece.isEmpty()) {
            m_finished = true;
            return chunked ? QByteArray("0\r\n\r\n") : QByteArray();
        }
        return chunked ? chunk(piece) : piece;
    }

private:
    // The plain body: an object opened, one letter repeated, the object closed. Empty at the end.
    QByteArray nextPlain() {
        static const QByteArray open = R"({"cod":200,"padding":")";
        static const QByteArray close = R"("})";
        const qint64 left = m_flood.bytes - m_produced;
        if (left <= 0)
            return {};
        QByteArray block(qMin(left, kFloodBlock), 'x');
        if (m_produced == 0)
            block.replace(0, qMin<qsizetype>(open.size(), block.size()), open.left(block.size()));
        const qint64 end = m_produced + block.size();
        if (end == m_flood.bytes && m_flood.bytes >= open.size() + close.size())
            block.replace(block.size() - close.size(), close.size(), close);
        m_produced = end;
        return block;
    }

    QByteArray nextCompressed() {
        if (!m_zipStarted) {
            m_zipStarted = true;
            return m_zip.header();
        }
        QByteArray out;
        while (out.isEmpty() && !m_zipDone) {
            const QByteArray input = nextPlain();
            if (input.isEmpty()) {
                out = m_zip.finish();
                m_zipDone = true;
            } else {
                out = m_zip.encode(input);
            }
        }
        return out;
    }

    Flood m_flood;
    qint64 m_produced = 0;
    GzipRuns m_zip;
    bool m_zipStarted = false;
    bool m_zipDone = false;
    bool m_finished = false;
};

SampleWeatherService::SampleWeatherService(QObject* parent)
    : QObject(parent), m_server(new QTcpServer(this)), m_validKeys{QStringLiteral("demo-key")} {
    connect(m_server, &QTcpServer::newConnection, this, &SampleWeatherService::acceptConnections);
    const City sanDiego{QStringLiteral("San Diego"), 293.15, 290.37, 295.93,
                        QStringLiteral("clear sky")};
    const City london{QStringLiteral("London"), 285.5, 284.26, 286.9,
                      QStringLiteral("overcast clouds")};
    const City newYork{QStringLiteral("New York"), 282.55, 281.15, 284.26,
                       QStringLiteral("few clouds")};
    setCity(QStringLiteral("San Diego CA"), sanDiego);
    setCity(QStringLiteral("San Diego"), sanDiego);
    setCity(QStringLiteral("London,UK"), london);
    setCity(QStringLiteral("London, UK"), london);
    setCity(QStringLiteral("New York"), newYork);
}

SampleWeatherService::~SampleWeatherService() {
    // The sockets die with the server after this body; they must not call back into members
    // that are already gone.
    const QList<QTcpSocket*> sockets = m_connections.keys();
    for (QTcpSocket* socket : sockets) {
        disconnect(socket, nullptr, this, nullptr);
        socket->abort();
    }
    m_connections.clear();
}

bool SampleWeatherService::listen(quint16 port) {
    if (m_server->isListening())
        m_server->close();
    return m_server->listen(QHostAddress::LocalHost, port);
}

quint16 SampleWeatherService::port() const {
    return m_server->serverPort();
}

QString SampleWeatherService::baseUrl() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

void SampleWeatherService::setValidKeys(const QStringList& keys) {
    m_validKeys = keys;
}

void SampleWeatherService::setBlockedKeys(const QStringList& keys) {
    m_blockedKeys = keys;
}

void SampleWeatherService::setCity(const QString& query, const City& city) {
    m_cities.insert(queryKey(query), city);
}

void SampleWeatherService::setForecast(const QString& query, const Forecast& forecast) {
    m_forecasts.insert(queryKey(query), forecast);
}

void SampleWeatherService::setMemberOrder(MemberOrder order) {
    m_memberOrder = order;
}

void SampleWeatherService::setFault(Fault fault, std::chrono::milliseconds delay) {
    m_fault = fault;
    m_delay = delay;
}

void SampleWeatherService::setFixedReply(int status, const QByteArray& body) {
    m_hasFixedReply = true;
    m_fixedStatus = status;
    m_fixedBody = body;
}

void SampleWeatherService::clearFixedReply() {
    m_hasFixedReply = false;
    m_fixedBody.clear();
}

void SampleWeatherService::setObservationTime(std::optional<qint64> secondsSinceEpoch) {
    m_observationTime = secondsSinceEpoch;
}

void SampleWeatherService::setRetryAfter(int seconds) {
    m_retryAfter = seconds;
}

void SampleWeatherService::setExtraHeaders(const QByteArray& lines) {
    m_extraHeaders = lines;
}

void SampleWeatherService::setFlood(const Flood& flood) {
    m_flood = flood;
    m_fault = Fault::Flood;
}

qint64 SampleWeatherService::floodBytesSent() const {
    return m_floodBytesSent;
}

QStringList SampleWeatherService::requestLines() const {
    return m_requestLines;
}

int SampleWeatherService::requestCount() const {
    return int(m_requestLines.size());
}

int SampleWeatherService::weatherRequestCount() const {
    return int(
        std::count_if(m_requestLines.cbegin(), m_requestLines.cend(), [](const QString& line) {
            return line.startsWith(QLatin1String("GET ") + QLatin1String(kWeatherPath) + u'?');
        }));
}

int SampleWeatherService::forecastRequestCount() const {
    return int(
        std::count_if(m_requestLines.cbegin(), m_requestLines.cend(), [](const QString& line) {
            return line.startsWith(QLatin1String("GET ") + QLatin1String(kForecastPath) + u'?');
        }));
}

void SampleWeatherService::setMadeUpForecast(bool on) {
    m_madeUpForecast = on;
}

void SampleWeatherService::clearRequests() {
    m_requestLines.clear();
}

void SampleWeatherService::acceptConnections() {
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        m_connections.insert(socket, Connection{});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { forget(socket); });
        if (socket->bytesAvailable() > 0)
            readFrom(socket);
    }
}

void SampleWeatherService::forget(QTcpSocket* socket) {
    if (m_connections.remove(socket))
        socket->deleteLater();
}

void SampleWeatherService::readFrom(QTcpSocket* socket) {
    QByteArray data = socket->readAll();
    const auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    Connection& connection = *it;
    if (connection.closing)
        return;
    const qint64 skipped = qMin<qint64>(connection.bodyToSkip, data.size());
    connection.bodyToSkip -= skipped;
    data.remove(0, skipped);
    connection.buffer += data;
    if (connection.busy) {
        if (connection.buffer.size() > kMaxQueued) {
            socket->abort();
            forget(socket);
        }
        return;
    }
    serve(socket);
}

void SampleWeatherService::serve(QTcpSocket* socket) {
    for (;;) {
        auto it = m_connections.find(socket);
        if (it == m_connections.end() || it->busy || it->closing)
            return;
        Connection* connection = &*it;
        // Blank lines ahead of a request line are tolerated, as HTTP asks of servers.
        while (connection->buffer.startsWith("\r\n"))
            connection->buffer.remove(0, 2);
        const qsizetype end = connection->buffer.indexOf("\r\n\r\n");
        if (end < 0 ? connection->buffer.size() > kMaxHeadSize : end + 4 > kMaxHeadSize) {
            connection->closing = true;
            connection->buffer.clear();
            socket->write(response(431, kHeadTooLargeBody, true));
            socket->disconnectFromHost();
            return;
        }
        if (end < 0)
            return;

        const RequestHead head = parseHead(connection->buffer.left(end));
        connection->buffer.remove(0, end + 4);
        if (!head.wellFormed || !head.lengthValid) {
            connection->closing = true;
            connection->buffer.clear();
            socket->write(response(400, kBadRequestBody, true));
            socket->disconnectFromHost();
            return;
        }
        // The body means nothing here, but it must be read past to find the next request.
        const qint64 inBuffer = qMin<qint64>(head.contentLength, connection->buffer.size());
        connection->buffer.remove(0, inBuffer);
        connection->bodyToSkip = head.contentLength - inBuffer;
        // A chunked body cannot be skipped without decoding it; ending the connection is simpler.
        const bool close = !head.keepAlive || head.chunked;

        const QString line = QString::fromUtf8(head.line);
        m_requestLines.append(line);
        Q_EMIT requestReceived(line);
        it = m_connections.find(socket);
        if (it == m_connections.end())
            return;
        connection = &*it;
        if (m_fault == Fault::Flood) {
            connection->busy = true;
            connection->closing = true;
            startFlood(socket);
            return;
        }

        int status = 200;
        QByteArray body;
        if (m_hasFixedReply) {
            status = m_fixedStatus;
            body = m_fixedBody;
        } else if (head.method != "GET") {
            status = 405;
            body = kBadMethodBody;
        } else {
            body = replyBody(head.target, status);
        }
        if (m_fault == Fault::Oversized)
            body = oversized(body);
        const QByteArray wait = m_retryAfter < 0
                                    ? QByteArray()
                                    : "Retry-After: " + QByteArray::number(m_retryAfter) + "\r\n";
        const QByteArray answer = response(status, body, close, wait + m_extraHeaders);

        switch (m_fault) {
        case Fault::Reset:
            socket->abort();
            forget(socket);
            return;
        case Fault::Stall:
            connection->busy = true;
            return;
        case Fault::Delay:
            connection->busy = true;
            QTimer::singleShot(m_delay, socket, [this, socket, answer, close] {
                sendHeldAnswer(socket, answer, close);
            });
            return;
        default:
            break;
        }
        socket->write(answer);
        if (close) {
            connection->closing = true;
            socket->disconnectFromHost();
            return;
        }
    }
}

void SampleWeatherService::sendHeldAnswer(QTcpSocket* socket, const QByteArray& answer,
                                          bool close) {
    const auto it = m_connections.find(socket);
    if (it == m_connections.end() || socket->state() != QAbstractSocket::ConnectedState)
        return;
    it->busy = false;
    socket->write(answer);
    if (close) {
        it->closing = true;
        socket->disconnectFromHost();
        return;
    }
    serve(socket);
}

void SampleWeatherService::startFlood(QTcpSocket* socket) {
    const auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    it->flood = std::make_shared<FloodWriter>(m_flood);
    socket->write(it->flood->head());
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { pumpFlood(socket); });
    pumpFlood(socket);
}

void SampleWeatherService::pumpFlood(QTcpSocket* socket) {
    const auto it = m_connections.find(socket);
    if (it == m_connections.end() || !it->flood)
        return;
    while (socket->bytesToWrite() < kFloodBacklog) {
        const QByteArray piece = it->flood->next();
        if (piece.isEmpty()) {
            it->flood.reset();
            socket->disconnectFromHost();
            return;
        }
        socket->write(piece);
        m_floodBytesSent += piece.size();
    }
}

QByteArray SampleWeatherService::replyBody(const QByteArray& target, int& status) const {
    QByteArray path = target;
    // Absolute form, as a proxy would send it.
    if (path.startsWith("http://")) {
        const qsizetype slash = path.indexOf('/', 7);
        path = slash < 0 ? QByteArray("/") : path.mid(slash);
    }
    const qsizetype question = path.indexOf('?');
    const QByteArray query = question < 0 ? QByteArray() : path.mid(question + 1);
    path.truncate(question < 0 ? path.size() : question);
    const bool forecast = path == kForecastPath;
    if (path != kWeatherPath && !forecast) {
        status = 404;
        return kNoSuchPathBody;
    }

    const QString key = queryValue(query, "APPID");
    if (m_blockedKeys.contains(key)) {
        status = 429;
        return kBlockedBody;
    }
    if (key.isEmpty() || !m_validKeys.contains(key)) {
        status = 401;
        return kInvalidKeyBody;
    }
    const QString place = queryKey(queryValue(query, "q"));
    if (place.isEmpty()) {
        status = 400;
        return kNothingToGeocodeBody;
    }
    const auto city = m_cities.constFind(place);
    if (city == m_cities.constEnd()) {
        status = 404;
        return kCityNotFoundBody;
    }
    status = 200;
    if (forecast) {
        const auto scripted = m_forecasts.constFind(place);
        if (scripted != m_forecasts.constEnd())
            return forecastBody(*city, *scripted);
        return forecastBody(*city, m_madeUpForecast
                                       ? madeUpForecast(*city, QDateTime::currentSecsSinceEpoch())
                                       : Forecast{placeFor(city->name).timezone, {}});
    }
    QByteArray body = weatherBody(*city, m_memberOrder,
                                  m_observationTime.value_or(QDateTime::currentSecsSinceEpoch()));
    if (m_fault == Fault::NotUtf8) {
        const QByteArray name = "\"name\":" + jsonString(city->name);
        const qsizetype at = body.lastIndexOf(name);
        body.insert(at + name.size() - 1, "\xFF\xFE");
    }
    return body;
}

} // namespace nimbrel::sample
