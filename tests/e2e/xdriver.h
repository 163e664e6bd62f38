#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QString>

typedef struct _XDisplay Display;

namespace nimbrel::test {

// Drives a real X server the way a person would: finds top-level windows by title, clicks,
// types and asks windows to close through the window-manager protocol.
class XDriver {
public:
    XDriver();
    ~XDriver();
    bool ok() const { return m_display != nullptr; }

    struct Window {
        unsigned long id = 0;
        QString title;
        QRect geometry; // root coordinates
        bool viewable = false;
    };
    QList<Window> topLevels() const;
    // The first viewable top-level whose title starts with the text, other than `except`.
    Window findViewable(const QString& titlePrefix, unsigned long except = 0) const;
    QRect screen() const;
    // The window that holds the keyboard focus (0 for none): keys typed before a new window has
    // it go to the one before.
    unsigned long focus() const;
    // What the screen shows in the area, as raw pixels: equal bytes mean an equal picture.
    QByteArray pixels(const QRect& area) const;

    void click(int x, int y);
    void key(const char* keysym);
    void type(const QString& ascii);
    // WM_DELETE_WINDOW, as the title-bar close button sends it.
    void requestClose(unsigned long window);
    void sync();

private:
    Display* m_display = nullptr;
};

} // namespace nimbrel::test
