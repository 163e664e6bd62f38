#pragma once

class QKeyEvent;

namespace nimbrel {

// The key code the display's key handling works with: for a letter key, Qt::Key_A to Qt::Key_Z
// by the key's place on the keyboard where the platform tells it, so the typed word works with a
// non-Latin layout too. One implementation per platform.
int displayKeyCode(const QKeyEvent& event);

} // namespace nimbrel
