#pragma once

namespace nimbrel {

// How many one-second ticks of the display lie between two of its own fetches: the regular
// period, and the wait after a failed fetch, which doubles with each further failure until it
// reaches the regular period.
struct RefreshSchedule {
    int regularTicks;
    int firstRetryTicks;
};

// Alone in its source file, so that the end-to-end build can link a quicker one in its place.
RefreshSchedule refreshSchedule();

} // namespace nimbrel
