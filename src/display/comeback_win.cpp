#include "comeback.h"

#include <QNetworkInformation>

namespace nimbrel {

// A wake-up on Windows shows as the network coming back, which the watcher hears already.
void watchSystemResume(ComebackWatcher*) {}

bool loadReachabilityBackend() {
    return QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
}

} // namespace nimbrel
