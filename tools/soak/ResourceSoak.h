// The resource soak: many polling ticks in this process on a generated
// hotel, through the same Controller as the program, with small POS files
// and notices dropped at random between idle stretches. Resident memory and
// open file descriptors are read after a warm-up and at the end.
#pragma once

#include <QString>
#include <QTextStream>
#include <cstdint>

namespace quorvel::soak {

struct ResourceOptions {
    QString dir;  // the hotel folder to create (must not exist)
    int ticks = 20000;
    std::uint64_t seed = 1;
};

// Prints the one-line result; returns 0 unless descriptors (or, outside a
// sanitizer build, memory) grew beyond noise or a tick failed.
int runResourceSoak(const ResourceOptions& options, QTextStream& out);

}  // namespace quorvel::soak
