#pragma once

#include "guard.h"

namespace nimbrel {

// Puts the guard's reports on screen as "Application Error" message boxes, never the same
// failure twice at once. The application installs it as it starts; so do the tests' message
// recorders, which stand in for the boxes.
void installFailureReports();

} // namespace nimbrel
