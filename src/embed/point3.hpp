#pragma once

#include <array>

#include "core/types.hpp"

namespace vantorel::embed {

// A point of the pipeline's Cartesian cloud: x, y, z, radius included.
using Point3 = std::array<double, 3>;

inline core::CartesianPoint to_cartesian(const Point3& p) noexcept { return {p[0], p[1], p[2]}; }
inline Point3 to_point3(const core::CartesianPoint& c) noexcept { return {c.x, c.y, c.z}; }

}  // namespace vantorel::embed
