#pragma once

#include "screen_power.h"

#include <memory>

namespace nimbrel {

// The DPMS requests, behind an interface so that a test can check their order: the server
// refuses some of them in the wrong state, and no X server a test can start here has DPMS.
class X11Dpms {
public:
    virtual ~X11Dpms() = default;
    virtual bool enabled() = 0;
    virtual void enable() = 0;
    virtual void disable() = 0;
    virtual void forceOn() = 0;
    virtual void forceOff() = 0;
    // Waits until the server has done what was asked.
    virtual void sync() = 0;
};

// The monitor's power through DPMS, for a server that has it.
std::unique_ptr<ScreenPower> createDpmsScreenPower(std::unique_ptr<X11Dpms> dpms);

} // namespace nimbrel
