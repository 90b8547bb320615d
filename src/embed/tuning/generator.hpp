#pragma once

#include <cstddef>
#include <cstdint>

#include "embed/projection/projection.hpp"

namespace vantorel::embed {

// The tuner's SplitMix64 generator: the caller owns the state and threads it
// through a whole run, so a run is reproduced from its seed alone.

// One step: advances the state by the golden gamma and returns its mix.
inline std::uint64_t next_u64(std::uint64_t& state) noexcept {
    state += kGoldenGamma;
    return splitmix64(state);
}

// An index below n (z mod n). The step is taken even when n is 0, which then
// gives 0, so the number of steps never depends on the list lengths.
inline std::size_t draw_index(std::uint64_t& state, std::size_t n) noexcept {
    const std::uint64_t z = next_u64(state);
    return n == 0 ? 0 : static_cast<std::size_t>(z % n);
}

// A uniform value in [0, 1) from the top 53 bits of one step.
inline double draw_unit(std::uint64_t& state) noexcept {
    constexpr double kUnit = 1.1102230246251565e-16;  // 2^-53
    return static_cast<double>(next_u64(state) >> 11) * kUnit;
}

}  // namespace vantorel::embed
