#pragma once

class QScreen;

namespace nimbrel {

// The monitor the command line chose for this run (--screen). Not stored: the next run starts
// without a choice. nullptr when none was chosen, or when that monitor has gone since.
void setStartScreen(QScreen* screen);
QScreen* startScreen();

} // namespace nimbrel
