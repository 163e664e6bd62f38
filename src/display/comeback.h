#pragma once

#include <QElapsedTimer>
#include <QNetworkInformation>
#include <QObject>

namespace nimbrel {

// Tells the display when its reading has most likely gone stale for a reason other than time:
// the computer has just woken from suspend, or the network has come back. The display then
// fetches at once instead of showing an old reading until its next timed fetch.
class ComebackWatcher : public QObject {
    Q_OBJECT
public:
    explicit ComebackWatcher(QObject* parent = nullptr);

    // Listens to the system's own reports (resume from suspend, network reachability) where the
    // platform offers them; nothing happens where it does not.
    void watchSystem();

    // What the system reports; public so that tests can report it themselves.
    void systemResumed();
    void reachabilityChanged(QNetworkInformation::Reachability reachability);

    // A network that flaps is not asked about more than once a minute. Tests move the clock
    // instead of waiting.
    static constexpr qint64 kReconnectQuietMs = 60'000;
    void setElapsedForTesting(qint64 (*elapsedMs)()) { m_elapsedForTesting = elapsedMs; }

Q_SIGNALS:
    void freshReadingWanted();

private Q_SLOTS:
    void prepareForSleep(bool sleeping);

private:
    qint64 nowMs() const;

    QElapsedTimer m_clock;
    qint64 (*m_elapsedForTesting)() = nullptr;
    qint64 m_lastReconnect = -kReconnectQuietMs;
    QNetworkInformation::Reachability m_reachability = QNetworkInformation::Reachability::Unknown;
};

// Connects the watcher to the platform's resume report; chosen in CMake.
void watchSystemResume(ComebackWatcher* watcher);
// Loads the platform's source of network reachability, if it has a cheap one.
bool loadReachabilityBackend();

} // namespace nimbrel
