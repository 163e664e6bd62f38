#pragma once

#include <memory>

class QWidget;

namespace nimbrel {

// Turns the monitor off for the night and on again in the morning, where the platform lets a
// program do it.
class ScreenPower {
public:
    virtual ~ScreenPower() = default;
    // False where the platform offers no way (Wayland; an X server with neither DPMS nor a
    // screen saver): the display then only draws its background and leaves blanking to the system.
    virtual bool turnOff() = 0;
    // Undoes turnOff: the monitor on, and the user's own settings as they were before.
    virtual void turnOn() = 0;
};

// The implementation for this platform, chosen in CMake. `window` is the display window
// (Windows needs its handle); may be null in tests.
std::unique_ptr<ScreenPower> createPlatformScreenPower(QWidget* window);

} // namespace nimbrel
