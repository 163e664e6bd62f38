#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

namespace nimbrel {

// The blocking HTTP transfer the display owns and the key test borrows. fetchBody performs a GET
// and returns the body whatever the status; it waits in a nested event loop so the rest of the
// program keeps running, and throws AppError when the host cannot be reached, the time limit
// passes or the reply is too large.
class Transfer : public QObject {
    Q_OBJECT
public:
    // What came back from a server: the body and the reply's status.
    struct Answer {
        QString body;
        int status = 0;
        QString reasonPhrase; // as the server wrote it; may be empty
        // The seconds the reply's Retry-After asks the client to wait, whether it gives them or
        // a date; -1 when it gives neither.
        int retryAfter = -1;
        // When the server says it sent the reply (its Date header, on the server's own clock);
        // invalid when it gave none that can be read.
        QDateTime sentAt;
        // "500 Internal Server Error", or the bare code when the server gave no phrase.
        QString statusLine() const;
    };
    // How a transfer in the background ended: its answer, or what went wrong (then not empty).
    using Done = std::function<void(const Answer& answer, const QString& failure)>;

    explicit Transfer(QObject* parent = nullptr);
    ~Transfer() override;

    // True from the start of fetchBody until its transfer has ended (the reply is complete, has
    // failed or was abandoned); fetchBody returns as soon as its wait ends.
    bool isExecuting() const;
    QString fetchBody(const QString& url);
    // fetchBody that also tells the caller how the server answered; same waits and failures.
    Answer fetch(const QString& url);

    // The limit for the whole transfer (not an idle limit); 60 seconds unless a test says less.
    void setTimeLimit(std::chrono::milliseconds limit);
    std::chrono::milliseconds timeLimit() const;
    // Replies larger than this fail; 1 MiB unless a test says otherwise.
    void setSizeLimit(qint64 bytes);

    // Ends a waiting fetchBody at once with a failure; used when the owner goes away.
    void abort();

    // Starts a GET and returns at once, with the same limits as fetch; `done` is called once the
    // transfer has ended, from the event loop. A background transfer still running is dropped
    // first (its `done` is never called), and so is one running when the Transfer goes. It does
    // not count as executing, so a blocking fetch may run beside it.
    void fetchInBackground(const QString& url, Done done);
    void dropBackground();
    bool isFetchingInBackground() const;

Q_SIGNALS:
    // The transfer has ended (with a body or a failure); not emitted while the owner is
    // destroying it.
    void finished();

private:
    struct Call;
    QNetworkReply* get(const QString& url);
    void finishBackground();

    QNetworkAccessManager* m_manager;
    // The call whose transfer is running, if any; it lives on the stack of that fetchBody.
    Call* m_call = nullptr;
    std::unique_ptr<Call> m_background;
    std::chrono::milliseconds m_timeLimit{60000};
    qint64 m_sizeLimit = qint64(1024) * 1024;
};

// The program's one blocking transfer: the display fetches the current weather through it and the
// key test borrows it, so at most one of those is under way at a time (the display's forecast
// goes beside it, in the background). Created on first use, owned by the application.
Transfer& sharedTransfer();

} // namespace nimbrel
