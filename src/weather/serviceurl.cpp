#include "weatherrequest.h"

namespace nimbrel {

const char* builtInServiceUrl() {
    return NIMBREL_SERVICE_URL;
}

} // namespace nimbrel
