#pragma once

#include "core/types.hpp"

namespace vantorel::core {

// Spherical linear interpolation of the directions of a and b (radii ignored),
// t clamped to [0, 1]. The result's radius is |w|, 1 up to rounding.
SphericalPoint slerp(const SphericalPoint& a, const SphericalPoint& b, double t) noexcept;

}  // namespace vantorel::core
