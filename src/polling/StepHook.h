// A hook called at the named steps of the polling cycle where a crash must
// be survivable. Tests set it to kill the process at a chosen step; in the
// program it is empty.
#pragma once

#include <functional>

namespace quorvel::polling {

void setStepHook(std::function<void(const char* step)> hook);
void step(const char* name);

}  // namespace quorvel::polling
