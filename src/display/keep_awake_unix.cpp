#include "keep_awake.h"

#include "session_bus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QString>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace nimbrel {
namespace {

// Desktops that keep their own idle time (Plasma, for one, on Wayland and X11) offer this call;
// under Wayland it is the only way for a program to count as user activity.
void tellSessionScreenSaver() {
    if (!sessionBusRunning())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.ScreenSaver"),
        QStringLiteral("/org/freedesktop/ScreenSaver"),
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("SimulateUserActivity"));
    // Asking the bus to start a screen saver just for this would be wrong: absent is fine.
    call.setAutoStartService(false);
    bus.send(call);
}

// On X11 the right Shift key is pressed through XTest on a connection of our own, so the
// server's idle time starts again as it does for real input, and the screen-saver timer is
// reset as well for servers that keep it apart.
class X11KeepAwake final : public KeepAwake {
public:
    // The connection is made here, when the display window is created, so that the ticks of a
    // display left up for days only send their two key events.
    X11KeepAwake() { connection(); }
    X11KeepAwake(const X11KeepAwake&) = delete;
    X11KeepAwake& operator=(const X11KeepAwake&) = delete;

    ~X11KeepAwake() override {
        if (m_display)
            XCloseDisplay(m_display);
    }

    void nudge() override {
        if (Display* display = connection()) {
            if (m_shiftKey != 0) {
                XTestFakeKeyEvent(display, m_shiftKey, True, CurrentTime);
                XTestFakeKeyEvent(display, m_shiftKey, False, CurrentTime);
            }
            XResetScreenSaver(display);
            XFlush(display);
        }
        tellSessionScreenSaver();
    }

private:
    // Tried only once: without an X server (Wayland, offscreen) every nudge goes straight to
    // the session bus. Under Wayland a DISPLAY may still name Xwayland, whose idle time is not
    // the session's: X is used only when the program itself runs on X.
    Display* connection() {
        if (m_tried)
            return m_display;
        m_tried = true;
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            return nullptr;
        m_display = XOpenDisplay(nullptr);
        if (!m_display)
            return nullptr;
        int eventBase = 0;
        int errorBase = 0;
        int major = 0;
        int minor = 0;
        // A fake key event on a server without XTest would be a protocol error, and Xlib's
        // default handler ends the process.
        if (XTestQueryExtension(m_display, &eventBase, &errorBase, &major, &minor))
            m_shiftKey = XKeysymToKeycode(m_display, XK_Shift_R);
        return m_display;
    }

    Display* m_display = nullptr;
    bool m_tried = false;
    KeyCode m_shiftKey = 0;
};

} // namespace

std::unique_ptr<KeepAwake> createPlatformKeepAwake() {
    return std::make_unique<X11KeepAwake>();
}

} // namespace nimbrel
