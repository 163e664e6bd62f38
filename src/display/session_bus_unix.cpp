#include "session_bus.h"

#include <QFileInfo>
#include <QString>
#include <QtGlobal>

namespace nimbrel {

bool sessionBusRunning() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtimeDir.isEmpty() && QFileInfo::exists(runtimeDir + QStringLiteral("/bus"));
}

} // namespace nimbrel
