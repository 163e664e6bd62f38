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

namespace {

// The root's child that holds the window: the window itself, or its window manager's frame.
Window topLevelOf(Display* display, Window window) {
    for (;;) {
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, window, &root, &parent, &children, &count))
            return 0;
        if (children)
            XFree(children);
        if (parent == root)
            return window;
        window = parent;
    }
}

} // namespace

int x11StackingPlace(unsigned long window) {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return -1;
    int place = -1;
    const Window top = topLevelOf(display, window);
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    // XQueryTree lists the children bottom to top.
    if (top && XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count; ++i) {
            if (children[i] == top)
                place = int(i);
        }
        XFree(children);
    }
    XCloseDisplay(display);
    return place;
}

} // namespace nimbrel::test
