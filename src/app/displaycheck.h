#pragma once

class QString;

namespace nimbrel {

// True when an X server answers at the display (":1", "host:0.1"); always true where Qt does
// not use X. The connection is closed again at once.
bool canOpenXDisplay(const QString& display);

} // namespace nimbrel
