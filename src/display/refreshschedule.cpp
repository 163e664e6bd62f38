#include "refreshschedule.h"

namespace nimbrel {

RefreshSchedule refreshSchedule() {
    return RefreshSchedule{600, 30};
}

} // namespace nimbrel
