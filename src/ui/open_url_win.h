#pragma once

#include <windows.h>

#include <functional>

namespace nimbrel {

// ShellExecuteA's signature less the result, which the caller never looks at.
using ShellExecuteCall = std::function<void(HWND owner, LPCSTR operation, LPCSTR file,
                                            LPCSTR parameters, LPCSTR directory, INT show)>;

// Tests record the shell call instead of starting a browser; an empty call restores shell32.
void setShellExecuteForTesting(ShellExecuteCall call);

} // namespace nimbrel
