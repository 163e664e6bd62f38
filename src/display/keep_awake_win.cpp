#include "keep_awake.h"

#include <QCoreApplication>

#include <windows.h>

namespace nimbrel {
namespace {

// A synthetic right Shift types nothing in any window yet counts as user input, which holds
// off the screen saver and display power saving; the execution state keeps the system up.
class WindowsKeepAwake final : public KeepAwake {
public:
    void nudge() override {
        BYTE scan = static_cast<BYTE>(MapVirtualKeyA(VK_RSHIFT, MAPVK_VK_TO_VSC));
        keybd_event(VK_RSHIFT, scan, 0, 0);
        scan = static_cast<BYTE>(MapVirtualKeyA(VK_RSHIFT, MAPVK_VK_TO_VSC));
        keybd_event(VK_RSHIFT, scan, KEYEVENTF_KEYUP, 0);
        QCoreApplication::processEvents();
        // Without ES_CONTINUOUS this resets the idle timer once and leaves no state behind.
        SetThreadExecutionState(ES_SYSTEM_REQUIRED);
    }
};

} // namespace

std::unique_ptr<KeepAwake> createPlatformKeepAwake() {
    return std::make_unique<WindowsKeepAwake>();
}

} // namespace nimbrel
