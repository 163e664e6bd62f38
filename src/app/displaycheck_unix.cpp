#include "displaycheck.h"

#include <QString>

#include <X11/Xlib.h>

namespace nimbrel {

bool canOpenXDisplay(const QString& display) {
    Display* const connection = XOpenDisplay(display.toLocal8Bit().constData());
    if (connection == nullptr)
        return false;
    XCloseDisplay(connection);
    return true;
}

} // namespace nimbrel
