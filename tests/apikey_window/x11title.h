#pragma once

#include <QString>

namespace nimbrel::test {

// The title the X server holds for a window (_NET_WM_NAME, the one window managers and task
// bars show), asked on a connection of our own: what Qt believes the title is does not count.
QString x11WindowTitle(unsigned long window);

} // namespace nimbrel::test
