#include "comeback.h"

#include <QDBusConnection>
#include <QFileInfo>
#include <QNetworkInformation>
#include <QtGlobal>

namespace nimbrel {

namespace {

// A kiosk or container without a system bus has neither logind nor NetworkManager to ask; the
// connection attempts alone cost the idle display over a megabyte in scripts/measure-display.
bool systemBusRunning() {
    return !qEnvironmentVariableIsEmpty("DBUS_SYSTEM_BUS_ADDRESS") ||
           QFileInfo::exists(QStringLiteral("/run/dbus/system_bus_socket")) ||
           QFileInfo::exists(QStringLiteral("/var/run/dbus/system_bus_socket"));
}

} // namespace

// logind announces a suspend with PrepareForSleep(true) and the wake-up with (false). Without a
// system bus (a container, a kiosk without systemd) there is simply no such report.
void watchSystemResume(ComebackWatcher* watcher) {
    if (!systemBusRunning())
        return;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                watcher, SLOT(prepareForSleep(bool)));
}

// NetworkManager's own report over the system bus. Qt's other Linux backend, through GLib's
// network monitor, cost the idle display six times its CPU time and almost 3 MiB in
// scripts/measure-display. Without NetworkManager the display learns of a reconnect only by its
// next timed fetch.
bool loadReachabilityBackend() {
    return systemBusRunning() && QNetworkInformation::loadBackendByName(u"networkmanager");
}

} // namespace nimbrel
