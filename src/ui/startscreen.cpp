#include "startscreen.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

namespace nimbrel {

namespace {

// Qt deletes a QScreen when its monitor is unplugged; the guard then reads as nullptr.
QPointer<QScreen>& chosenScreen() {
    static QPointer<QScreen> screen;
    return screen;
}

} // namespace

void setStartScreen(QScreen* screen) {
    chosenScreen() = screen;
}

QScreen* startScreen() {
    return chosenScreen();
}

QScreen* displayScreen(const QWidget* window) {
    if (QScreen* chosen = startScreen())
        return chosen;
    if (window == nullptr)
        return QGuiApplication::primaryScreen();
    // A Wayland client never learns where its windows are; the compositor's word is all there is.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return window->screen();
    // Qt's own answer goes by one point of the window, so a window mostly on the second monitor
    // can still count as on the first.
    const QRect frame = window->frameGeometry();
    const auto areaOn = [&frame](const QScreen* screen) {
        const QRect common = screen->geometry().intersected(frame);
        return qint64(common.width()) * common.height();
    };
    QScreen* best = window->screen();
    qint64 bestArea = best ? areaOn(best) : 0;
    for (QScreen* screen : QGuiApplication::screens()) {
        if (const qint64 area = areaOn(screen); area > bestArea) {
            best = screen;
            bestArea = area;
        }
    }
    return best ? best : QGuiApplication::primaryScreen();
}

} // namespace nimbrel
