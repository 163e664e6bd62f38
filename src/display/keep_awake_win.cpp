#include "keep_awake_win.h"

#include <QCoreApplication>

#include <utility>

namespace nimbrel {
namespace {

class SystemWindowsInput final : public WindowsInput {
public:
    UINT mapVirtualKey(UINT code, UINT mapType) override { return MapVirtualKeyA(code, mapType); }
    void keybdEvent(BYTE virtualKey, BYTE scanCode, DWORD flags, ULONG_PTR extraInfo) override {
        keybd_event(virtualKey, scanCode, flags, extraInfo);
    }
    EXECUTION_STATE setThreadExecutionState(EXECUTION_STATE flags) override {
        return SetThreadExecutionState(flags);
    }
};

// A synthetic right Shift types nothing in any window yet counts as user input, which holds
// off the screen saver and display power saving; the execution state keeps the system up.
class WindowsKeepAwake final : public KeepAwake {
public:
    explicit WindowsKeepAwake(std::unique_ptr<WindowsInput> input) : m_input(std::move(input)) {}

    void nudge() override {
        BYTE scan = static_cast<BYTE>(m_input->mapVirtualKey(VK_RSHIFT, MAPVK_VK_TO_VSC));
        m_input->keybdEvent(VK_RSHIFT, scan, 0, 0);
        scan = static_cast<BYTE>(m_input->mapVirtualKey(VK_RSHIFT, MAPVK_VK_TO_VSC));
        m_input->keybdEvent(VK_RSHIFT, scan, KEYEVENTF_KEYUP, 0);
        QCoreApplication::processEvents();
        // Without ES_CONTINUOUS this resets the idle timer once and leaves no state behind.
        m_input->setThreadExecutionState(ES_SYSTEM_REQUIRED);
    }

private:
    std::unique_ptr<WindowsInput> m_input;
};

} // namespace

std::unique_ptr<WindowsInput> systemWindowsInput() {
    return std::make_unique<SystemWindowsInput>();
}

std::unique_ptr<KeepAwake> createWindowsKeepAwake(std::unique_ptr<WindowsInput> input) {
    return std::make_unique<WindowsKeepAwake>(std::move(input));
}

std::unique_ptr<KeepAwake> createPlatformKeepAwake() {
    return createWindowsKeepAwake(systemWindowsInput());
}

} // namespace nimbrel
