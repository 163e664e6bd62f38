#pragma once

#include <memory>

namespace nimbrel {

// Keeps the computer from sleeping and from starting the screen saver: each nudge sends one
// press and release of a key that types nothing and tells the system once that it is in use.
class KeepAwake {
public:
    virtual ~KeepAwake() = default;
    virtual void nudge() = 0;
};

// The implementation for this platform, chosen in CMake.
std::unique_ptr<KeepAwake> createPlatformKeepAwake();

} // namespace nimbrel
