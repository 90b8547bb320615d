#pragma once

#include <cmath>
#include <span>

namespace vantorel::core {

// An L2 norm kept as the norm of the vector times `factor`, a power of two.
// The factor is 1 whenever the plain sum of squares is finite, so those norms,
// and the unit components taken from them, are the plain ones to the bit.
struct Norm {
    double factor = 1.0;
    double length = 0.0;  // the norm of the vector times factor

    // The norm itself; inf when it exceeds the largest double.
    [[nodiscard]] double value() const noexcept { return length / factor; }
    // Component x of the unit vector: x / value() on the plain path.
    [[nodiscard]] double unit(double x) const noexcept { return x * factor / length; }
};

// The power of two that brings the largest |component| of v into [0.5, 1) (at
// most 2^1022 for subnormal ones); 1 for a zero vector or one holding an
// infinity. Scaling by it is exact (short of components it takes below the
// normal range), so ratios such as a cosine keep their value.
double rescale_factor(std::span<const double> v) noexcept;

// The norm of v after scaling by rescale_factor(v): no square can overflow.
Norm rescaled_norm(std::span<const double> v) noexcept;

// Squares summed in index order from -0.0 (an empty vector gives -0.0). Only a
// sum that overflows takes the rescaled road, so a large embedding keeps its
// direction; a sum that underflows is kept, as such norms count as zero.
inline Norm norm_of(std::span<const double> v) noexcept {
    double sum = -0.0;
    for (const double x : v) sum += x * x;
    if (std::isinf(sum)) return rescaled_norm(v);
    return {1.0, std::sqrt(sum)};
}

inline double l2_norm(std::span<const double> v) noexcept { return norm_of(v).value(); }

inline Norm norm_of(double x, double y, double z) noexcept {
    const double v[3] = {x, y, z};
    return norm_of(v);
}

inline double l2_norm(double x, double y, double z) noexcept { return norm_of(x, y, z).value(); }

}  // namespace vantorel::core
