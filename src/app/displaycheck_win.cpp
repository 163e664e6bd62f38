#include "displaycheck.h"

namespace nimbrel {

bool canOpenXDisplay(const QString& /*display*/) {
    return true;
}

} // namespace nimbrel
