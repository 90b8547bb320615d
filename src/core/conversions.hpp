#pragma once

#include "core/types.hpp"

namespace vantorel::core {

// Radius included; inputs are not range-checked and results never validated.
CartesianPoint spherical_to_cartesian(const SphericalPoint& p) noexcept;
// (0, 0, 0) for vectors shorter than machine epsilon.
SphericalPoint cartesian_to_spherical(const CartesianPoint& c) noexcept;
SphericalPoint cartesian_to_spherical(double x, double y, double z) noexcept;
GeoPoint spherical_to_geo(const SphericalPoint& p) noexcept;
GeoPoint spherical_to_geo(double r, double theta, double phi) noexcept;
SphericalPoint geo_to_spherical(const GeoPoint& g) noexcept;
CartesianPoint geo_to_cartesian(const GeoPoint& g) noexcept;
// Unit direction of a point, its radius ignored.
CartesianPoint unit_vector(const SphericalPoint& p) noexcept;

}  // namespace vantorel::core
