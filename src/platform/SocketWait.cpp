// poll() on POSIX, WSAPoll() on Windows.
#include "platform/SocketWait.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <poll.h>
#endif

namespace quorvel {

bool waitReadable(int socket, int milliseconds) {
#ifdef _WIN32
    WSAPOLLFD p{};
    p.fd = static_cast<SOCKET>(socket);
    p.events = POLLRDNORM;
    return WSAPoll(&p, 1, milliseconds) != 0;
#else
    pollfd p{};
    p.fd = socket;
    p.events = POLLIN;
    // A signal ends the wait early (EINTR): the caller looks at why.
    return ::poll(&p, 1, milliseconds) != 0;
#endif
}

}  // namespace quorvel
