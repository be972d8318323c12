// The generator's pseudo-random numbers: splitmix64, so that a seed gives the
// same hotel on every platform and library version (std distributions do not).
#pragma once

#include <QList>
#include <cstdint>

namespace quorvel::hotel {

class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    // A whole number in [low, high]; the modulo bias is negligible for our ranges.
    std::int64_t between(std::int64_t low, std::int64_t high) {
        if (high <= low)
            return low;
        const auto span = static_cast<std::uint64_t>(high - low) + 1;
        return low + static_cast<std::int64_t>(next() % span);
    }

    // True with the given chance in percent.
    bool percent(int chance) { return between(0, 99) < chance; }

    template <typename T>
    const T& pick(const QList<T>& items) {
        return items.at(static_cast<qsizetype>(between(0, items.size() - 1)));
    }

private:
    std::uint64_t m_state;
};

}  // namespace quorvel::hotel
