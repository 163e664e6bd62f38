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
    // The service refused the key or blocked the account, and its wait is not over: nothing,
    // not a resume nor the network coming back, asks sooner.
    bool waitingOutRefusal() const { return m_refused; }
    // A refused key (401) or a blocked account (429): asking again soon cannot mend either.
    static bool isRefusal(const ReplyFacts& facts) {
        return facts.status == 401 || facts.status == 429;
    }

private:
    int m_ticks;
    // Failed fetches in a row.
    int m_failed = 0;
    bool m_refused = false;
};

} // namespace nimbrel
