#pragma once

#include <QObject>
#include <QString>
#include <chrono>

class QNetworkAccessManager;
class QNetworkReply;

namespace nimbrel {

// The blocking HTTP transfer the display owns and the key test borrows. OpenURL performs a GET
// and returns the body whatever the status; it waits in a nested event loop so the rest of the
// program keeps running, and throws AppError when the host cannot be reached, the time limit
// passes or the reply is too large.
class Transfer : public QObject {
    Q_OBJECT
public:
    explicit Transfer(QObject* parent = nullptr);
    ~Transfer() override;

    bool StillExecuting() const;
    QString OpenURL(const QString& url);

    // The limit for the whole transfer (not an idle limit); 60 seconds unless a test says less.
    void setTimeLimit(std::chrono::milliseconds limit);
    std::chrono::milliseconds timeLimit() const;
    // Replies larger than this fail; 1 MiB unless a test says otherwise.
    void setSizeLimit(qint64 bytes);

    // Ends a waiting OpenURL at once with a failure; used when the owner goes away.
    void abort();

Q_SIGNALS:
    void finished();
};

} // namespace nimbrel
