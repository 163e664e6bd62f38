#pragma once

#include <memory>

namespace nimbrel {

// Asks the desktop not to blank the screen or start the screen saver while the display is up.
// Holding twice holds once; releasing what is not held does nothing. Asking never waits: the
// desktop answers in its own time, and a release asked for meanwhile is carried out when the
// answer comes. A desktop that offers no such thing is simply not asked again.
class IdleInhibitor {
public:
    virtual ~IdleInhibitor() = default;
    virtual void hold() = 0;
    virtual void release() = 0;
};

// The implementation for this platform, chosen in CMake.
std::unique_ptr<IdleInhibitor> createPlatformIdleInhibitor();

} // namespace nimbrel
