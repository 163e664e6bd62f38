#include "x11geometry.h"

// Xlib's macros clash with Qt's headers, so it lives here on its own.
#include <X11/Xlib.h>

namespace nimbrel::test {

QRect x11WindowGeometry(unsigned long window) {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return {};
    QRect geometry;
    XWindowAttributes attributes;
    int rootX = 0;
    int rootY = 0;
    Window child = 0;
    if (XGetWindowAttributes(display, window, &attributes) &&
        XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &rootX, &rootY,
                              &child))
        geometry = QRect(rootX, rootY, attributes.width, attributes.height);
    XCloseDisplay(display);
    return geometry;
}

} // namespace nimbrel::test
