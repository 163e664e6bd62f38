#include "xdriver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace nimbrel::test {

namespace {

// Windows come and go while the driver looks at them; a window destroyed between listing it
// and reading its title is no reason for Xlib to end the test.
int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

} // namespace

XDriver::XDriver() : m_display(XOpenDisplay(nullptr)) {
    XSetErrorHandler(ignoreErrors);
}

XDriver::~XDriver() {
    if (m_display)
        XCloseDisplay(m_display);
}

static QString windowTitle(Display* d, ::Window w) {
    const Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    QString title;
    if (XGetWindowProperty(d, w, netName, 0, 1024, False, utf8, &type, &format, &count, &after,
                           &data) == Success &&
        data) {
        title = QString::fromUtf8(reinterpret_cast<const char*>(data), int(count));
        XFree(data);
    }
    if (title.isEmpty()) {
        char* name = nullptr;
        if (XFetchName(d, w, &name) && name) {
            title = QString::fromLocal8Bit(name);
            XFree(name);
        }
    }
    return title;
}

QList<XDriver::Window> XDriver::topLevels() const {
    QList<Window> result;
    if (!m_display)
        return result;
    ::Window root = DefaultRootWindow(m_display);
    ::Window rootOut = 0;
    ::Window parent = 0;
    ::Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(m_display, root, &rootOut, &parent, &children, &count))
        return result;
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(m_display, children[i], &attributes))
            continue;
        if (attributes.map_state != IsViewable) {
            // Unmapped windows are listed but not inspected further.
            Window hidden;
            hidden.id = children[i];
            result.append(hidden);
            continue;
        }
        Window w;
        w.id = children[i];
        w.title = windowTitle(m_display, children[i]);
        int x = 0;
        int y = 0;
        ::Window child = 0;
        XTranslateCoordinates(m_display, children[i], root, 0, 0, &x, &y, &child);
        w.geometry = QRect(x, y, attributes.width, attributes.height);
        w.viewable = attributes.map_state == IsViewable;
        result.append(w);
    }
    if (children)
        XFree(children);
    return result;
}

XDriver::Window XDriver::findViewable(const QString& titlePrefix, unsigned long except) const {
    const auto all = topLevels();
    for (const Window& w : all) {
        if (w.viewable && w.title.startsWith(titlePrefix) && w.id != except)
            return w;
    }
    return {};
}

unsigned long XDriver::focus() const {
    ::Window window = 0;
    int revertTo = 0;
    XGetInputFocus(m_display, &window, &revertTo);
    return window > PointerRoot ? window : 0;
}

QRect XDriver::screen() const {
    if (!m_display)
        return {};
    return QRect(0, 0, DisplayWidth(m_display, DefaultScreen(m_display)),
                 DisplayHeight(m_display, DefaultScreen(m_display)));
}

QByteArray XDriver::pixels(const QRect& area) const {
    if (!m_display)
        return {};
    XImage* image = XGetImage(m_display, DefaultRootWindow(m_display), area.x(), area.y(),
                              unsigned(area.width()), unsigned(area.height()), AllPlanes, ZPixmap);
    if (!image)
        return {};
    QByteArray bytes(image->data, qsizetype(image->bytes_per_line) * image->height);
    XDestroyImage(image);
    return bytes;
}

void XDriver::click(int x, int y) {
    XTestFakeMotionEvent(m_display, -1, x, y, 0);
    XTestFakeButtonEvent(m_display, 1, True, 0);
    XTestFakeButtonEvent(m_display, 1, False, 0);
    XFlush(m_display);
}

void XDriver::key(const char* keysym) {
    const KeyCode code = XKeysymToKeycode(m_display, XStringToKeysym(keysym));
    XTestFakeKeyEvent(m_display, code, True, 0);
    XTestFakeKeyEvent(m_display, code, False, 0);
    XFlush(m_display);
}

void XDriver::type(const QString& ascii) {
    for (QChar c : ascii) {
        const QByteArray name = c == QLatin1Char('-') ? QByteArray("minus") : QString(c).toLatin1();
        key(name.constData());
    }
}

void XDriver::requestClose(unsigned long window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(m_display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(m_display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(m_display, window, False, NoEventMask, &event);
    XFlush(m_display);
}

void XDriver::sync() {
    if (m_display)
        XSync(m_display, False);
}

} // namespace nimbrel::test
