#pragma once

class QScreen;
class QWidget;

namespace nimbrel {

// The monitor the command line chose for this run (--screen). Not stored: the next run starts
// without a choice. nullptr when none was chosen, or when that monitor has gone since.
void setStartScreen(QScreen* screen);
QScreen* startScreen();

// The monitor the display covers: the one the command line chose, else the one that holds the
// larger part of the given window (where the user put the settings window), else the primary.
QScreen* displayScreen(const QWidget* window);

} // namespace nimbrel
