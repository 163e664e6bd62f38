#include "hidekey.h"

#include <QKeyEvent>

namespace nimbrel {

// X11 and Wayland key symbols depend on the layout and carry no layout-free letter, so the
// letter is the one the layout produces.
int displayKeyCode(const QKeyEvent& event) {
    return event.key();
}

} // namespace nimbrel
