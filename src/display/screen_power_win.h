#pragma once

#include "keep_awake.h"
#include "screen_power.h"

#include <windows.h>

#include <memory>

namespace nimbrel {

// The messages that switch the monitor, behind an interface so that a test can record what is
// sent without turning a monitor off.
class WindowsMessages {
public:
    virtual ~WindowsMessages() = default;
    virtual LRESULT sendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual BOOL postMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

// user32 itself.
std::unique_ptr<WindowsMessages> systemWindowsMessages();

// `wake` is nudged after the monitor is switched on: many monitors only wake on input.
std::unique_ptr<ScreenPower> createWindowsScreenPower(QWidget* window,
                                                      std::unique_ptr<WindowsMessages> messages,
                                                      std::unique_ptr<KeepAwake> wake);

} // namespace nimbrel
