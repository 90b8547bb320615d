#pragma once

#include <optional>
#include <span>

#include "core/types.hpp"

namespace vantorel::core {

// Angle between two unit vectors by atan2(|u × v|, u · v): accurate near 0 and π.
double angle_between(const CartesianPoint& u, const CartesianPoint& v) noexcept;

// Angle in [0, π] between the directions of a and b; radii ignored.
double angular_distance(const SphericalPoint& a, const SphericalPoint& b) noexcept;
double great_circle_distance(const SphericalPoint& a, const SphericalPoint& b, double radius) noexcept;
// Euclidean distance of the Cartesian images, radii included.
double chord_distance(const SphericalPoint& a, const SphericalPoint& b) noexcept;

// Cosine of two equally long vectors, accumulated in index order; 0 when either
// norm vanishes. Unequal lengths are a broken invariant. Vectors whose sums
// overflow are rescaled first, which leaves the cosine as it is.
double cosine_similarity(std::span<const double> a, std::span<const double> b);

// a · b / (|a| |b|) on a and b scaled by their powers of two (rescale_factor),
// so that no sum overflows; not clamped, 0 when either vector is zero.
double rescaled_cosine_ratio(std::span<const double> a, std::span<const double> b) noexcept;

// The last step of cosine_similarity from its three sums (dot product and both
// squared norms, each summed in index order); nullopt when a sum overflowed,
// where cosine_similarity goes back to the vectors.
std::optional<double> cosine_from_sums(double dot, double norm_sq_a, double norm_sq_b) noexcept;

}  // namespace vantorel::core
