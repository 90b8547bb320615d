#pragma once

#include <cmath>
#include <cstdint>

#include "core/numeric.hpp"
#include "core/types.hpp"

namespace vantorel::core {

// Uniform points on the unit sphere from a 64-bit linear congruential
// generator. Every sampled area of the geometry core comes from here with a
// fixed seed, so the exact sequence is part of the results.
class SphereSampler {
public:
    static constexpr std::uint64_t kMultiplier = 6364136223846793005ULL;
    static constexpr std::uint64_t kIncrement = 1442695040888963407ULL;

    explicit constexpr SphereSampler(std::uint64_t seed) noexcept : state_(seed) {}

    [[nodiscard]] constexpr std::uint64_t state() const noexcept { return state_; }

    // The top 31 bits of a state as a value in [0, 1).
    static constexpr double uniform_of(std::uint64_t state) noexcept {
        return static_cast<double>(state >> 33) * 4.656612873077393e-10;  // 2^-31
    }

    // Steps first: the seed itself is never read.
    constexpr double next_uniform() noexcept {
        state_ = state_ * kMultiplier + kIncrement;
        return uniform_of(state_);
    }

    // Uniform azimuth and uniform height give a uniform point; two steps.
    CartesianPoint next_point() noexcept {
        const double azimuth = next_uniform() * kTwoPi;
        const double u = next_uniform();
        const double z = (u + u) - 1.0;
        const double rho = std::sqrt(1.0 - z * z);
        return {std::cos(azimuth) * rho, std::sin(azimuth) * rho, z};
    }

    // Same state as `steps` calls of next_uniform, in O(log steps): the k-fold
    // step is again affine, s -> A·s + C, built by squaring.
    constexpr void discard(std::uint64_t steps) noexcept {
        std::uint64_t acc_mult = 1;
        std::uint64_t acc_plus = 0;
        std::uint64_t cur_mult = kMultiplier;
        std::uint64_t cur_plus = kIncrement;
        while (steps != 0) {
            if ((steps & 1U) != 0) {
                acc_mult *= cur_mult;
                acc_plus = acc_plus * cur_mult + cur_plus;
            }
            cur_plus = (cur_mult + 1) * cur_plus;
            cur_mult *= cur_mult;
            steps >>= 1U;
        }
        state_ = state_ * acc_mult + acc_plus;
    }

    // The generator has full period 2^64, so wrapping 2·points is still exact.
    constexpr void discard_points(std::uint64_t points) noexcept { discard(points * 2); }

private:
    std::uint64_t state_;
};

}  // namespace vantorel::core
