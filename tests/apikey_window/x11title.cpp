#include "x11title.h"

// Xlib's macros clash with Qt's headers, so it lives here on its own.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace nimbrel::test {

QString x11WindowTitle(unsigned long window) {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return {};
    QString title;
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    const Atom name = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    if (XGetWindowProperty(display, window, name, 0, 4096, False, utf8, &type, &format, &items,
                           &after, &data) == Success &&
        data != nullptr) {
        if (type == utf8 && format == 8)
            title = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(items));
        XFree(data);
    }
    XCloseDisplay(display);
    return title;
}

} // namespace nimbrel::test
