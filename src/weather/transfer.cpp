#include "transfer.h"

#include "apperror.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <algorithm>

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

// The state of one fetchBody. It lives on that call's stack, so it outlives the Transfer when the
// owner deletes the Transfer while the call waits.
struct Transfer::Call {
    QEventLoop loop;
    QPointer<QNetworkReply> reply;
    QByteArray body;
    Outcome outcome = Outcome::Running;
};

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

Transfer::Answer Transfer::fetch(const QString& url) {
    if (isExecuting())
        throw AppError(QStringLiteral("Still executing last request"));

    QNetworkRequest request(parseAddress(url));

    Call call;
    const qint64 sizeLimit = m_sizeLimit;
    // Qt unpacks a compressed body before we see any of it; past this many unpacked bytes it
    // gives up on a body that shrank suspiciously well, so a small bomb cannot fill the memory
    // before the count below gets a say.
    request.setDecompressedSafetyCheckThreshold(sizeLimit);
    QNetworkReply* const reply = m_manager->get(request);
    reply->setReadBufferSize(kReadBuffer);
    call.reply = reply;
    m_call = &call;

    // Connections are made to this stack object so none of them outlives the call.
    QObject context;
    const auto refuse = [&call, reply] {
        call.outcome = Outcome::TooLarge;
        call.body.clear();
        reply->abort();
    };
    // A compressed body that Qt gives up unpacking (past the threshold above, or damaged) is
    // not always finished by Qt afterwards when the read buffer is bounded, so it is over now.
    // Qt counts this as the reply's one error and complains at a second (an abort); deleting
    // the reply, below, stops its transfer all the same.
    QObject::connect(reply, &QNetworkReply::errorOccurred, &context, [&call, reply] {
        if (call.outcome != Outcome::Running || isStatusError(*reply) ||
            reply->rawHeader("Content-Encoding").isEmpty())
            return;
        call.outcome = Outcome::Unpacking;
        call.body.clear();
        call.loop.quit();
    });
    // The announced length lets an oversized reply be refused before its body is sent.
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &context, [reply, sizeLimit, refuse] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > sizeLimit)
            refuse();
    });
    QObject::connect(reply, &QNetworkReply::readyRead, &context, [&call, reply, sizeLimit, refuse] {
        if (call.outcome != Outcome::Running)
            return;
        call.body += reply->read(sizeLimit + 1 - call.body.size());
        if (call.body.size() > sizeLimit)
            refuse();
    });
    QObject::connect(reply, &QNetworkReply::finished, &context, [&call, reply, sizeLimit, refuse] {
        if (call.outcome == Outcome::Running) {
            call.body += reply->read(sizeLimit + 1 - call.body.size());
            if (call.body.size() > sizeLimit)
                refuse();
            else
                call.outcome = Outcome::Complete;
        }
        call.loop.quit();
    });

    // The access manager's own timeout restarts with every byte; this one is for the whole
    // transfer, so a server that trickles cannot hold the caller for ever.
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer); // a coarse timer may fire up to 5 % early
    QObject::connect(&deadline, &QTimer::timeout, &context, [&call, reply] {
        if (call.outcome != Outcome::Running)
            return;
        call.outcome = Outcome::TimedOut;
        call.body.clear();
        reply->abort();
    });
    deadline.start(m_timeLimit);

    const QPointer<Transfer> self(this);
    if (call.outcome == Outcome::Running)
        call.loop.exec();
    deadline.stop();

    // Deleted while waiting: the reply went with the access manager, nothing of ours is left.
    if (!self)
        throw AppError(QStringLiteral("The transfer was cancelled"));

    // The loop also returns when the program is ending (QCoreApplication::exit ends every loop)
    // while the reply still runs.
    if (call.outcome == Outcome::Running) {
        call.outcome = Outcome::Cancelled;
        reply->abort();
    }
    if (m_call == &call)
        m_call = nullptr;

    const QString failure = describeFailure(call.outcome, *reply, m_timeLimit, sizeLimit);
    Answer answer;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.reasonPhrase = QString::fromLatin1(
        reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray());
    reply->deleteLater();
    // A receiver may delete this Transfer: nothing below touches a member.
    Q_EMIT finished();
    if (!failure.isEmpty())
        throw AppError(failure);
    answer.body = QString::fromUtf8(call.body);
    return answer;
}

} // namespace nimbrel
