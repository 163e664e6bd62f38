#include "comeback.h"

namespace nimbrel {

ComebackWatcher::ComebackWatcher(QObject* parent) : QObject(parent) {
    m_clock.start();
}

void ComebackWatcher::watchSystem() {
    watchSystemResume(this);
    // A backend that cannot tell reachability (none on this system, or no network manager
    // running) simply never reports, which is the right thing to do with no news.
    if (loadReachabilityBackend()) {
        QNetworkInformation* network = QNetworkInformation::instance();
        m_reachability = network->reachability();
        connect(network, &QNetworkInformation::reachabilityChanged, this,
                &ComebackWatcher::reachabilityChanged);
    }
}

qint64 ComebackWatcher::nowMs() const {
    return m_elapsedForTesting ? m_elapsedForTesting() : m_clock.elapsed();
}

void ComebackWatcher::prepareForSleep(bool sleeping) {
    if (!sleeping)
        systemResumed();
}

void ComebackWatcher::systemResumed() {
    Q_EMIT freshReadingWanted();
}

void ComebackWatcher::reachabilityChanged(QNetworkInformation::Reachability reachability) {
    using R = QNetworkInformation::Reachability;
    const bool cameOnline =
        reachability == R::Online && m_reachability != R::Online && m_reachability != R::Unknown;
    m_reachability = reachability;
    if (!cameOnline || nowMs() - m_lastReconnect < kReconnectQuietMs)
        return;
    m_lastReconnect = nowMs();
    Q_EMIT freshReadingWanted();
}

} // namespace nimbrel
