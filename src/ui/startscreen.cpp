#include "startscreen.h"

#include <QPointer>
#include <QScreen>

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

} // namespace nimbrel
