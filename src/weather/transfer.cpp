#include "transfer.h"

#include "apperror.h"

#include <QDateTime>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QTimeZone>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <limits>

namespace nimbrel {

namespace {

enum class Outcome { Running, Complete, TimedOut, TooLarge, Cancelled, Unpacking };

// What Qt may hold of a reply that the caller has not taken yet. Once it is full, Qt's network
// thread stops reading the socket until the caller takes some, so a reply that streams in
// faster than this thread gets round to it piles up in the kernel's socket buffers (which are
// bounded) rather than in ours, whatever the framing.
constexpr qint64 kReadBuffer = qint64(64) * 1024;

// The caller hands over an address whose query is already percent-encoded. Strict parsing keeps
// every escape exactly as given, so what reaches the wire is what the caller built; anything
// strict parsing refuses (a raw blank, say) gets Qt's tolerant repair instead.
QUrl parseAddress(const QString& text) {
    QUrl url = QUrl::fromEncoded(text.toUtf8(), QUrl::StrictMode);
    if (!url.isValid())
        url = QUrl(text, QUrl::TolerantMode);
    // Only web addresses: the access manager would also read local files or data: addresses.
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        throw AppError(QStringLiteral("The address of the request is not a valid web address"));
    return url;
}

// Failures below HTTP: no status line arrived, or the connection broke before the body was
// complete, so there is no answer to hand back.
bool isConnectionFailure(QNetworkReply::NetworkError error) {
    const int code = static_cast<int>(error);
    return (code >= QNetworkReply::ConnectionRefusedError &&
            code <= QNetworkReply::UnknownNetworkError) ||
           (code >= QNetworkReply::ProxyConnectionRefusedError &&
            code <= QNetworkReply::UnknownProxyError);
}

// Qt turns a status of 400 or more into an error of its own; any other error on a reply that has
// a status arose while its body was read.
bool isStatusError(const QNetworkReply& reply) {
    return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() >= 400 &&
           reply.error() != QNetworkReply::ProtocolFailure;
}

// An HTTP date: the IMF-fixdate servers send, or one of the two older forms a client must still
// read. Invalid when the text is none of them. A two-digit year is the one nearest before `now`
// plus 50 years, as HTTP/1.1 asks.
QDateTime httpDate(const QByteArray& text, const QDateTime& now) {
    static const QRegularExpression forms[] = {
        // Sun, 06 Nov 1994 08:49:37 GMT
        QRegularExpression(QStringLiteral(
            R"(^(?:Mon|Tue|Wed|Thu|Fri|Sat|Sun), (?<day>\d\d) (?<month>\w{3}) (?<year>\d{4}) )"
            R"((?<time>\d\d:\d\d:\d\d) GMT$)")),
        // Sunday, 06-Nov-94 08:49:37 GMT
        QRegularExpression(QStringLiteral(
            R"(^(?:Mon|Tues|Wednes|Thurs|Fri|Satur|Sun)day, (?<day>\d\d)-(?<month>\w{3})-)"
            R"((?<year>\d\d) (?<time>\d\d:\d\d:\d\d) GMT$)")),
        // Sun Nov  6 08:49:37 1994
        QRegularExpression(
            QStringLiteral(R"(^(?:Mon|Tue|Wed|Thu|Fri|Sat|Sun) (?<month>\w{3}) (?<day>[ \d]\d) )"
                           R"((?<time>\d\d:\d\d:\d\d) (?<year>\d{4})$)")),
    };
    const QString months = QStringLiteral("JanFebMarAprMayJunJulAugSepOctNovDec");
    const QString line = QString::fromLatin1(text);
    for (const QRegularExpression& form : forms) {
        const QRegularExpressionMatch match = form.match(line);
        if (!match.hasMatch())
            continue;
        const qsizetype month = months.indexOf(match.capturedView(u"month"));
        int year = match.capturedView(u"year").toInt();
        if (match.capturedLength(u"year") == 2) {
            const int latest = now.date().year() + 50;
            year += latest - latest % 100;
            if (year > latest)
                year -= 100;
        }
        const QDate date(year, static_cast<int>(month / 3 + 1),
                         match.capturedView(u"day").trimmed().toInt());
        const QTime time = QTime::fromString(match.captured(u"time"), QStringLiteral("hh:mm:ss"));
        if (month < 0 || month % 3 != 0 || !date.isValid() || !time.isValid())
            return {};
        return QDateTime(date, time, QTimeZone::utc());
    }
    return {};
}

// Retry-After as seconds to wait, or -1 when it says nothing usable. A date counts from the
// reply's own Date (`sent`) where there is one, so a server whose clock is off from ours still
// gets the wait it meant. A wait beyond an int is held there: the callers cap it far lower anyway.
int retryAfterSeconds(const QByteArray& value, const QDateTime& sent, const QDateTime& clock) {
    if (value.isEmpty())
        return -1;
    if (std::all_of(value.cbegin(), value.cend(), [](char c) { return c >= '0' && c <= '9'; })) {
        bool fits = false;
        const qulonglong seconds = value.toULongLong(&fits);
        // Only digits, so a failure is an overflow.
        constexpr int longest = std::numeric_limits<int>::max();
        return fits && seconds < longest ? static_cast<int>(seconds) : longest;
    }
    const QDateTime until = httpDate(value, clock);
    if (!until.isValid())
        return -1;
    const qint64 seconds = (sent.isValid() ? sent : clock).secsTo(until);
    return static_cast<int>(std::clamp<qint64>(seconds, 0, std::numeric_limits<int>::max()));
}

QString secondsText(std::chrono::milliseconds limit) {
    return QString::number(static_cast<double>(limit.count()) / 1000.0);
}

// Empty when the reply is an answer to hand back.
QString describeFailure(Outcome outcome, const QNetworkReply& reply,
                        std::chrono::milliseconds timeLimit, qint64 sizeLimit) {
    switch (outcome) {
    case Outcome::Cancelled:
        return QStringLiteral("The transfer was cancelled");
    case Outcome::TimedOut:
        return QStringLiteral("The weather service did not answer within %1 seconds")
            .arg(secondsText(timeLimit));
    case Outcome::TooLarge:
        return QStringLiteral("The reply is too large (more than %1 bytes)").arg(sizeLimit);
    case Outcome::Unpacking:
        return QStringLiteral("The reply is too large or damaged: it does not unpack into %1 bytes")
            .arg(sizeLimit);
    case Outcome::Running:
    case Outcome::Complete:
        break;
    }
    const QNetworkReply::NetworkError error = reply.error();
    if (isConnectionFailure(error))
        return QStringLiteral("Cannot connect to the weather service: %1").arg(reply.errorString());
    // Any HTTP status comes back as its body: the service explains refused keys and unknown
    // places in the body of its error replies. Qt reports such a status as an error of its
    // own; a failure while reading the body (a compressed body that does not unpack) is no
    // answer, whatever the status.
    if (error == QNetworkReply::NoError || isStatusError(reply))
        return {};
    return QStringLiteral("The transfer failed: %1").arg(reply.errorString());
}

} // namespace

// One fetchBody: its reply, what has arrived of the body, and how the transfer ended. It lives on
// that call's stack, so it outlives the Transfer when the owner deletes the Transfer while the
// call waits.
struct Transfer::Call {
    Call(qint64 limit, std::chrono::milliseconds time) : sizeLimit(limit), timeLimit(time) {}

    // Follows the reply until the transfer has ended or the time limit has passed.
    void start(QNetworkReply* started);
    void wait();
    // The transfer is over: the waiting fetch goes on, a background one is finished.
    void ended();
    // The program is ending (QCoreApplication::exit ends every loop) while the reply still runs.
    void endIfStillRunning();
    Answer answer() const;

    void refuse();
    void stopUnpacking();
    void checkAnnouncedLength();
    void take();
    void complete();
    void expire();

    const qint64 sizeLimit;
    const std::chrono::milliseconds timeLimit;
    std::function<void()> whenEnded;
    // A background call's receiver of its answer.
    Done done;
    QEventLoop loop;
    QPointer<QNetworkReply> reply;
    QByteArray body;
    Outcome outcome = Outcome::Running;
    // The access manager's own timeout restarts with every byte; this one is for the whole
    // transfer, so a server that trickles cannot hold the caller for ever.
    QTimer deadline;
    // Connections are made to this object, the first member to go, so none outlives the call.
    QObject context;
};

void Transfer::Call::start(QNetworkReply* started) {
    reply = started;
    reply->setReadBufferSize(kReadBuffer);
    QObject::connect(reply, &QNetworkReply::errorOccurred, &context, [this] { stopUnpacking(); });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &context,
                     [this] { checkAnnouncedLength(); });
    QObject::connect(reply, &QNetworkReply::readyRead, &context, [this] { take(); });
    QObject::connect(reply, &QNetworkReply::finished, &context, [this] { complete(); });
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer); // a coarse timer may fire up to 5 % early
    QObject::connect(&deadline, &QTimer::timeout, &context, [this] { expire(); });
    deadline.start(timeLimit);
}

void Transfer::Call::wait() {
    if (outcome == Outcome::Running)
        loop.exec();
    deadline.stop();
}

void Transfer::Call::ended() {
    loop.quit();
    if (whenEnded)
        whenEnded();
}

void Transfer::Call::endIfStillRunning() {
    if (outcome != Outcome::Running)
        return;
    outcome = Outcome::Cancelled;
    reply->abort();
}

Transfer::Answer Transfer::Call::answer() const {
    Answer answer;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.reasonPhrase = QString::fromLatin1(
        reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray());
    answer.body = QString::fromUtf8(body);
    const QDateTime clock = QDateTime::currentDateTimeUtc();
    answer.sentAt = httpDate(reply->rawHeader("Date").trimmed(), clock);
    answer.retryAfter =
        retryAfterSeconds(reply->rawHeader("Retry-After").trimmed(), answer.sentAt, clock);
    return answer;
}

void Transfer::Call::refuse() {
    outcome = Outcome::TooLarge;
    body.clear();
    reply->abort();
}

// A compressed body that Qt gives up unpacking (past the safety threshold, or damaged) is not
// always finished by Qt afterwards when the read buffer is bounded, so it is over now. Qt counts
// this as the reply's one error and complains at a second (an abort); deleting the reply, once
// the wait is over, stops its transfer all the same.
void Transfer::Call::stopUnpacking() {
    if (outcome != Outcome::Running || isStatusError(*reply) ||
        reply->rawHeader("Content-Encoding").isEmpty())
        return;
    outcome = Outcome::Unpacking;
    body.clear();
    ended();
}

// The announced length lets an oversized reply be refused before its body is sent.
void Transfer::Call::checkAnnouncedLength() {
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > sizeLimit)
        refuse();
}

void Transfer::Call::take() {
    if (outcome != Outcome::Running)
        return;
    body += reply->read(sizeLimit + 1 - body.size());
    if (body.size() > sizeLimit)
        refuse();
}

void Transfer::Call::complete() {
    if (outcome == Outcome::Running) {
        body += reply->read(sizeLimit + 1 - body.size());
        if (body.size() > sizeLimit)
            refuse();
        else
            outcome = Outcome::Complete;
    }
    ended();
}

void Transfer::Call::expire() {
    if (outcome != Outcome::Running)
        return;
    outcome = Outcome::TimedOut;
    body.clear();
    reply->abort();
}

Transfer::Transfer(QObject* parent) : QObject(parent), m_manager(new QNetworkAccessManager(this)) {
    // Qt 6's default, stated because it matters: an https request never follows a redirect to
    // plain http.
    m_manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

Transfer::~Transfer() {
    // The waiting fetchBody notices through its QPointer that the object is gone.
    abort();
}

bool Transfer::isExecuting() const {
    // Once the program ends (QCoreApplication::exit stops every event loop, this call's too) the
    // transfer is over: whoever waits for it stops waiting, and the call aborts as it returns.
    return m_call != nullptr && m_call->outcome == Outcome::Running && m_call->loop.isRunning();
}

void Transfer::setTimeLimit(std::chrono::milliseconds limit) {
    m_timeLimit = limit;
}

std::chrono::milliseconds Transfer::timeLimit() const {
    return m_timeLimit;
}

void Transfer::setSizeLimit(qint64 bytes) {
    // Bounded so that the arithmetic on it cannot overflow.
    m_sizeLimit = std::clamp<qint64>(bytes, 0, qint64(1) << 40);
}

void Transfer::abort() {
    if (!isExecuting())
        return;
    Call& call = *m_call;
    call.outcome = Outcome::Cancelled;
    if (call.reply)
        call.reply->abort();
    call.loop.quit();
}

QString Transfer::Answer::statusLine() const {
    const QString code = QString::number(status);
    return reasonPhrase.isEmpty() ? code : code + QLatin1Char(' ') + reasonPhrase;
}

QString Transfer::fetchBody(const QString& url) {
    return fetch(url).body;
}

QNetworkReply* Transfer::get(const QString& url) {
    QNetworkRequest request(parseAddress(url));
    // Qt unpacks a compressed body before we see any of it; past this many unpacked bytes it
    // gives up on a body that shrank suspiciously well, so a small bomb cannot fill the memory
    // before the call's own count gets a say.
    request.setDecompressedSafetyCheckThreshold(m_sizeLimit);
    return m_manager->get(request);
}

Transfer::Answer Transfer::fetch(const QString& url) {
    if (isExecuting())
        throw AppError(QStringLiteral("Still executing last request"));

    Call call(m_sizeLimit, m_timeLimit);
    QNetworkReply* const reply = get(url);
    m_call = &call;
    call.start(reply);

    const QPointer<Transfer> self(this);
    call.wait();
    // Deleted while waiting: the reply went with the access manager, nothing of ours is left.
    if (!self)
        throw AppError(QStringLiteral("The transfer was cancelled"));
    call.endIfStillRunning();
    if (m_call == &call)
        m_call = nullptr;

    const QString failure = describeFailure(call.outcome, *reply, call.timeLimit, call.sizeLimit);
    Answer answer = call.answer();
    reply->deleteLater();
    // A receiver may delete this Transfer: nothing below touches a member.
    Q_EMIT finished();
    if (!failure.isEmpty())
        throw AppError(failure);
    return answer;
}

void Transfer::fetchInBackground(const QString& url, Done done) {
    dropBackground();
    QNetworkReply* const reply = get(url);
    m_background = std::make_unique<Call>(m_sizeLimit, m_timeLimit);
    m_background->done = std::move(done);
    // Finished from the event loop, not inside the reply's own signal: `done` may start the
    // next transfer, and the reply is deleted on the way.
    m_background->whenEnded = [this] {
        QMetaObject::invokeMethod(this, &Transfer::finishBackground, Qt::QueuedConnection);
    };
    m_background->start(reply);
}

void Transfer::dropBackground() {
    if (!m_background)
        return;
    const std::unique_ptr<Call> call = std::move(m_background);
    call->whenEnded = nullptr;
    if (call->reply) {
        call->reply->abort();
        call->reply->deleteLater();
    }
}

bool Transfer::isFetchingInBackground() const {
    return m_background != nullptr;
}

void Transfer::finishBackground() {
    // Dropped, or another one started since this one ended.
    if (!m_background || m_background->outcome == Outcome::Running || !m_background->reply)
        return;
    const std::unique_ptr<Call> call = std::move(m_background);
    QNetworkReply& reply = *call->reply;
    const QString failure = describeFailure(call->outcome, reply, call->timeLimit, call->sizeLimit);
    const Answer answer = call->answer();
    reply.deleteLater();
    if (call->done)
        call->done(answer, failure);
}

} // namespace nimbrel
