#include "screen_power_x11.h"

#include <QGuiApplication>
#include <QString>

#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>

#include <utility>

namespace nimbrel {
namespace {

using Connection = std::unique_ptr<Display, int (*)(Display*)>;

class XlibDpms final : public X11Dpms {
public:
    explicit XlibDpms(Connection display) : m_display(std::move(display)) {}

    bool enabled() override {
        CARD16 level = 0;
        BOOL enabled = False;
        return DPMSInfo(m_display.get(), &level, &enabled) && enabled;
    }
    void enable() override { DPMSEnable(m_display.get()); }
    void disable() override { DPMSDisable(m_display.get()); }
    void forceOn() override { DPMSForceLevel(m_display.get(), DPMSModeOn); }
    void forceOff() override { DPMSForceLevel(m_display.get(), DPMSModeOff); }
    // Waited for, twice a day, so that whoever asks the server next already sees the change.
    void sync() override { XSync(m_display.get(), False); }

private:
    Connection m_display;
};

class DpmsScreenPower final : public ScreenPower {
public:
    explicit DpmsScreenPower(std::unique_ptr<X11Dpms> dpms) : m_dpms(std::move(dpms)) {}

    bool turnOff() override {
        // The server refuses to force a level while DPMS is off, and Xlib's default handler
        // would end the process over it. A user who switched DPMS off to keep the wall lit
        // by day still wants it dark at night, so it is switched on for the night only.
        if (!m_dpms->enabled()) {
            m_dpms->enable();
            m_enabledForNight = true;
        }
        m_dpms->forceOff();
        m_dpms->sync();
        return true;
    }

    void turnOn() override {
        // Without a turnOff before, this still wakes a monitor the server's own timeout put
        // to sleep in the night.
        if (m_dpms->enabled())
            m_dpms->forceOn();
        if (m_enabledForNight) {
            m_dpms->disable();
            m_enabledForNight = false;
        }
        m_dpms->sync();
    }

private:
    std::unique_ptr<X11Dpms> m_dpms;
    bool m_enabledForNight = false;
};

class ScreenSaverPower final : public ScreenPower {
public:
    explicit ScreenSaverPower(Connection display) : m_display(std::move(display)) {}

    bool turnOff() override {
        XForceScreenSaver(m_display.get(), ScreenSaverActive);
        XSync(m_display.get(), False);
        return true;
    }

    void turnOn() override {
        XForceScreenSaver(m_display.get(), ScreenSaverReset);
        XSync(m_display.get(), False);
    }

private:
    Connection m_display;
};

class NoScreenPower final : public ScreenPower {
public:
    bool turnOff() override { return false; }
    void turnOn() override {}
};

} // namespace

std::unique_ptr<ScreenPower> createDpmsScreenPower(std::unique_ptr<X11Dpms> dpms) {
    return std::make_unique<DpmsScreenPower>(std::move(dpms));
}

std::unique_ptr<ScreenPower> createPlatformScreenPower(QWidget*) {
    // On X11 the monitor goes to sleep through DPMS where the server has it; without DPMS the
    // screen saver, forced on, at least blanks it. Both on a connection of our own, like the
    // keep-awake's. X only when the program itself runs on X: under Wayland a DISPLAY may still
    // name Xwayland, whose screen is not the monitor.
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return std::make_unique<NoScreenPower>();
    Connection display(XOpenDisplay(nullptr), XCloseDisplay);
    if (!display)
        return std::make_unique<NoScreenPower>();
    int eventBase = 0;
    int errorBase = 0;
    if (DPMSQueryExtension(display.get(), &eventBase, &errorBase) && DPMSCapable(display.get()))
        return createDpmsScreenPower(std::make_unique<XlibDpms>(std::move(display)));
    return std::make_unique<ScreenSaverPower>(std::move(display));
}

} // namespace nimbrel
