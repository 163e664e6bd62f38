#pragma once

#include "weathertext.h"

namespace nimbrel {

// How many one-second ticks the display waits before its next timed fetch, from what became of
// the last one: sooner after a failure, doubling up to the regular period; regular again after an
// answer; no sooner than the regular period after a refused key or a blocked account, and as
// long as the service's Retry-After asks, up to an hour.
class FetchPlan {
public:
    FetchPlan();
    int ticks() const { return m_ticks; }
    void after(FetchOutcome outcome, const ReplyFacts& facts);

private:
    int m_ticks;
    // Failed fetches in a row.
    int m_failed = 0;
};

} // namespace nimbrel
