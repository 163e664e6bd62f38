#include "comeback.h"

#include <QDBusConnection>

namespace nimbrel {

// logind announces a suspend with PrepareForSleep(true) and the wake-up with (false). Without a
// system bus (a container, a kiosk without systemd) there is simply no such report.
void watchSystemResume(ComebackWatcher* watcher) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                watcher, SLOT(prepareForSleep(bool)));
}

} // namespace nimbrel
