#include "terminationrequests.h"

namespace nimbrel {

// Nothing to add on Windows. The program is built without a console, so there is none to close,
// and a log-out or shut-down arrives as window messages (WM_QUERYENDSESSION, WM_ENDSESSION) that
// Qt's event loop answers between handlers, so a save under way has completed by then. Qt offers
// no further hook for them.
void quitOnTerminationRequests(std::function<void()>) {}

} // namespace nimbrel
