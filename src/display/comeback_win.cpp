#include "comeback.h"

namespace nimbrel {

// A wake-up on Windows shows as the network coming back, which the watcher hears already.
void watchSystemResume(ComebackWatcher*) {}

} // namespace nimbrel
