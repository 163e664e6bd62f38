#include "hidekey.h"

#include <QKeyEvent>

namespace nimbrel {

// Windows names the letter keys by virtual-key code, 'A' to 'Z', which are also Qt's codes for
// them; a Cyrillic layout still reports the H key as 'H'. Events without a virtual key were
// made by the program itself and keep Qt's code.
int displayKeyCode(const QKeyEvent& event) {
    const quint32 virtualKey = event.nativeVirtualKey();
    if (virtualKey >= 'A' && virtualKey <= 'Z')
        return int(virtualKey);
    return event.key();
}

} // namespace nimbrel
