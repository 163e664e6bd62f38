#include "fetchplan.h"

#include "refreshschedule.h"

#include <algorithm>

namespace nimbrel {

namespace {

// A blocked account's Retry-After is obeyed up to this many one-second ticks.
constexpr int kLongestRetryAfterTicks = 60 * 60;

} // namespace

FetchPlan::FetchPlan() : m_ticks(refreshSchedule().regularTicks) {}

void FetchPlan::after(FetchOutcome outcome, const ReplyFacts& facts) {
    const RefreshSchedule schedule = refreshSchedule();
    m_refused = isRefusal(facts);
    // Asking again soon keeps a blocked account blocked.
    if (m_refused) {
        m_failed = 0;
        m_ticks =
            std::max(schedule.regularTicks, std::min(facts.retryAfter, kLongestRetryAfterTicks));
        return;
    }
    if (outcome == FetchOutcome::Reading || outcome == FetchOutcome::Answer) {
        m_failed = 0;
        m_ticks = schedule.regularTicks;
        return;
    }
    m_failed = std::min(m_failed + 1, 31);
    qint64 wait = schedule.firstRetryTicks;
    for (int i = 1; i < m_failed && wait < schedule.regularTicks; ++i)
        wait *= 2;
    m_ticks = int(std::min<qint64>(wait, schedule.regularTicks));
}

} // namespace nimbrel
