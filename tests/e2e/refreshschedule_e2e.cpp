// Takes the place of the display's refresh schedule in the recovery build, so that a failed
// refresh and the next attempts happen within seconds: a fetch every 10 ticks, the first retry
// after 1.
#include "refreshschedule.h"

namespace nimbrel {

RefreshSchedule refreshSchedule() {
    return RefreshSchedule{10, 1};
}

} // namespace nimbrel
