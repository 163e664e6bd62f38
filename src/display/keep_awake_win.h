#pragma once

#include "keep_awake.h"

#include <windows.h>

#include <memory>

namespace nimbrel {

// The system calls of one nudge, behind an interface so that a test can record exactly what is
// passed to them without sending a key to the desktop.
class WindowsInput {
public:
    virtual ~WindowsInput() = default;
    virtual UINT mapVirtualKey(UINT code, UINT mapType) = 0;
    virtual void keybdEvent(BYTE virtualKey, BYTE scanCode, DWORD flags, ULONG_PTR extraInfo) = 0;
    virtual EXECUTION_STATE setThreadExecutionState(EXECUTION_STATE flags) = 0;
};

// user32 and kernel32 themselves.
std::unique_ptr<WindowsInput> systemWindowsInput();

std::unique_ptr<KeepAwake> createWindowsKeepAwake(std::unique_ptr<WindowsInput> input);

} // namespace nimbrel
