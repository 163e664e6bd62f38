// Takes the place of the program's built-in service address in the end-to-end build: the
// linker uses this definition and leaves the library's one out.
#include "weatherrequest.h"

namespace nimbrel {

const char* builtInServiceUrl() {
    return "http://127.0.0.1:" NIMBREL_E2E_PORT_TEXT;
}

} // namespace nimbrel
