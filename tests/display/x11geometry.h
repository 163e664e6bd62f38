#pragma once

#include <QRect>

namespace nimbrel::test {

// Where the X server has the window, in root coordinates, asked on a connection of our own so
// that nothing the toolkit believes about the window gets in the way.
QRect x11WindowGeometry(unsigned long window);
// Where the window (or the frame a window manager put around it) stands in the server's stacking
// order of top-level windows, 0 at the bottom; -1 when it is not found.
int x11StackingPlace(unsigned long window);

} // namespace nimbrel::test
