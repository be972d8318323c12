// The failure of a server that could not be reached, dropped the connection
// or stopped answering, told apart from the other failures so that a cycle
// whose several steps meet the same failure reports it once.
#pragma once

#include "platform/Error.h"

#include <cstdint>

namespace quorvel::db {

class ServerUnreachable : public Error {
public:
    ServerUnreachable(const QString& where, const QString& cause);
};

// How many ServerUnreachable were made in this process so far: a caller
// compares it before and after a step to learn whether that step met one.
std::uint64_t serverUnreachableCount();

}  // namespace quorvel::db
