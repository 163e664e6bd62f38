#include "screen_power_win.h"

#include "keep_awake_win.h"

#include <QPointer>
#include <QWidget>

#include <utility>

namespace nimbrel {
namespace {

// SC_MONITORPOWER's states; Windows names none of them.
constexpr LPARAM kMonitorOn = -1;
constexpr LPARAM kMonitorOff = 2;

class SystemWindowsMessages final : public WindowsMessages {
public:
    LRESULT sendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
        return SendMessageW(window, message, wParam, lParam);
    }
    BOOL postMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
        return PostMessageW(window, message, wParam, lParam);
    }
};

class WindowsScreenPower final : public ScreenPower {
public:
    WindowsScreenPower(QWidget* window, std::unique_ptr<WindowsMessages> messages,
                       std::unique_ptr<KeepAwake> wake)
        : m_window(window), m_messages(std::move(messages)), m_wake(std::move(wake)) {}

    bool turnOff() override {
        monitorPower(kMonitorOff);
        return true;
    }

    void turnOn() override {
        monitorPower(kMonitorOn);
        m_wake->nudge();
    }

private:
    // The handle is asked for at each call, as the window may have been given a new one since.
    // Sent to our own window it cannot hang on another program that does not answer; only
    // without a window does it go to every top-level window, posted for that reason.
    void monitorPower(LPARAM state) {
        if (m_window) {
            // On Windows a window id is the window's handle, as a number.
            // NOLINTNEXTLINE(performance-no-int-to-ptr)
            HWND handle = reinterpret_cast<HWND>(m_window->winId());
            m_messages->sendMessage(handle, WM_SYSCOMMAND, SC_MONITORPOWER, state);
        } else {
            m_messages->postMessage(HWND_BROADCAST, WM_SYSCOMMAND, SC_MONITORPOWER, state);
        }
    }

    QPointer<QWidget> m_window;
    std::unique_ptr<WindowsMessages> m_messages;
    std::unique_ptr<KeepAwake> m_wake;
};

} // namespace

std::unique_ptr<WindowsMessages> systemWindowsMessages() {
    return std::make_unique<SystemWindowsMessages>();
}

std::unique_ptr<ScreenPower> createWindowsScreenPower(QWidget* window,
                                                      std::unique_ptr<WindowsMessages> messages,
                                                      std::unique_ptr<KeepAwake> wake) {
    return std::make_unique<WindowsScreenPower>(window, std::move(messages), std::move(wake));
}

std::unique_ptr<ScreenPower> createPlatformScreenPower(QWidget* window) {
    return createWindowsScreenPower(window, systemWindowsMessages(),
                                    createWindowsKeepAwake(systemWindowsInput()));
}

} // namespace nimbrel
