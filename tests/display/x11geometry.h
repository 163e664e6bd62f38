#pragma once

#include <QRect>

namespace nimbrel::test {

// Where the X server has the window, in root coordinates, asked on a connection of our own so
// that nothing the toolkit believes about the window gets in the way.
QRect x11WindowGeometry(unsigned long window);

} // namespace nimbrel::test
