// Waiting on a network socket with a bound: the one place that calls the
// system's poll, so the layers above stay portable.
#pragma once

namespace quorvel {

// Waits at most milliseconds for socket to become readable. True when it is,
// failed or a signal came (the caller looks why), false on time-out.
bool waitReadable(int socket, int milliseconds);

}  // namespace quorvel
