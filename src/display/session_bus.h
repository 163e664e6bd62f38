#pragma once

namespace nimbrel {

// True when a session bus is already running. Without one, libdbus would try to auto-launch a
// bus (a blocking dbus-launch on X11), and nothing the display does may wait for that.
bool sessionBusRunning();

} // namespace nimbrel
