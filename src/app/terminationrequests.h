#pragma once

#include <functional>

namespace nimbrel {

// A log-out, Ctrl+C in a terminal or a plain kill asks the program to stop. It stops through
// `quit`, run by the event loop between handlers, so a save under way completes first and nothing
// is left half done. Call once, after the application object exists.
void quitOnTerminationRequests(std::function<void()> quit);

} // namespace nimbrel
