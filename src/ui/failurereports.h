#pragma once

#include "guard.h"

namespace nimbrel {

// Puts the guard's reports on screen as "Application Error" message boxes, never the same
// failure twice at once. The application installs it as it starts; so do the tests' message
// recorders, which stand in for the boxes.
void installFailureReports();

// While one of these lives, the guard's reports wait instead of going on screen; when the last
// one ends, each goes up modeless, over whatever window is up by then, once however often it
// came. For the start straight into the display: nobody may be there to press OK, and a box
// raised before the display is up would stand under it.
class ReportsAfterwards {
public:
    ReportsAfterwards();
    ~ReportsAfterwards();
    ReportsAfterwards(const ReportsAfterwards&) = delete;
    ReportsAfterwards& operator=(const ReportsAfterwards&) = delete;
};

} // namespace nimbrel
