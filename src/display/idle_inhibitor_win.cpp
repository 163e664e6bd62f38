#include "idle_inhibitor.h"

namespace nimbrel {
namespace {

// Windows is kept awake by the keep-awake tick's own calls; there is nothing to hold.
class NoIdleInhibitor final : public IdleInhibitor {
public:
    void hold() override {}
    void release() override {}
};

} // namespace

std::unique_ptr<IdleInhibitor> createPlatformIdleInhibitor() {
    return std::make_unique<NoIdleInhibitor>();
}

} // namespace nimbrel
