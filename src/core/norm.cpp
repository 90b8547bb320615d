#include "core/norm.hpp"

#include <algorithm>

namespace vantorel::core {
namespace {

constexpr int kMinExponent = -1022;

}  // namespace

double rescale_factor(std::span<const double> v) noexcept {
    double largest = 0.0;
    for (const double x : v) largest = std::fmax(largest, std::fabs(x));
    if (largest == 0.0 || std::isinf(largest)) return 1.0;
    int exponent = 0;
    std::frexp(largest, &exponent);
    // A subnormal largest component would ask for a factor beyond the range.
    return std::ldexp(1.0, -std::max(exponent, kMinExponent));
}

Norm rescaled_norm(std::span<const double> v) noexcept {
    const double factor = rescale_factor(v);
    double sum = -0.0;
    for (const double x : v) {
        const double s = x * factor;
        sum += s * s;
    }
    return {factor, std::sqrt(sum)};
}

}  // namespace vantorel::core
