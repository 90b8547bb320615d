#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace vantorel::core {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoPi = 6.283185307179586;
inline constexpr double kFourPi = 12.566370614359172;
inline constexpr double kDegToRad = 0.017453292519943295;
inline constexpr double kRadToDeg = 57.29577951308232;
// Below this a length, norm, variance or denominator counts as zero.
inline constexpr double kEps = std::numeric_limits<double>::epsilon();

// IEEE 754 totalOrder key: -NaN < -inf < ... < -0 < +0 < ... < +inf < +NaN.
constexpr std::int64_t total_order_key(double v) noexcept {
    auto bits = std::bit_cast<std::int64_t>(v);
    return bits ^ static_cast<std::int64_t>(static_cast<std::uint64_t>(bits >> 63) >> 1);
}

constexpr bool total_order_less(double a, double b) noexcept {
    return total_order_key(a) < total_order_key(b);
}

// Float to integer the way a saturating cast does it: NaN gives 0, values
// beyond the range give the nearest bound, the rest truncate towards zero.
template <class Int>
constexpr Int saturating_cast(double v) noexcept {
    static_assert(std::is_integral_v<Int>);
    if (std::isnan(v)) return 0;
    constexpr auto lo = std::numeric_limits<Int>::min();
    constexpr auto hi = std::numeric_limits<Int>::max();
    if (v <= static_cast<double>(lo)) return lo;
    // static_cast<double>(hi) rounds up to 2^k for 64-bit types, which is out of range.
    if (v >= static_cast<double>(hi)) return hi;
    return static_cast<Int>(v);
}

// Clamp to [0, 1] keeping NaN: max(0, x) then min(1, ·) with NaN propagating.
constexpr double clamp_unit(double x) noexcept {
    if (std::isnan(x)) return x;
    return x < 0.0 ? 0.0 : (x > 1.0 ? 1.0 : x);
}

// Clamp keeping NaN, with lo <= hi required by the callers.
constexpr double clamp_keep_nan(double x, double lo, double hi) noexcept {
    if (std::isnan(x)) return x;
    return x < lo ? lo : (x > hi ? hi : x);
}

// Saturating unsigned arithmetic for counts that come from callers.
constexpr std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) noexcept {
    const std::uint64_t s = a + b;
    return s < a ? std::numeric_limits<std::uint64_t>::max() : s;
}

constexpr std::uint64_t saturating_mul(std::uint64_t a, std::uint64_t b) noexcept {
    if (a != 0 && b > std::numeric_limits<std::uint64_t>::max() / a) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return a * b;
}

}  // namespace vantorel::core
