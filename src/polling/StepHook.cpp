// The crash-test hook of the polling cycle.
#include "polling/StepHook.h"

#include <utility>

namespace quorvel::polling {

namespace {
std::function<void(const char*)>& hook() {
    static std::function<void(const char*)> h;
    return h;
}
}  // namespace

void setStepHook(std::function<void(const char*)> h) {
    hook() = std::move(h);
}

void step(const char* name) {
    if (hook())
        hook()(name);
}

}  // namespace quorvel::polling
