#include "core/distance.hpp"

#include <algorithm>
#include <cmath>

#include "core/conversions.hpp"
#include "core/invariant.hpp"
#include "core/numeric.hpp"

namespace vantorel::core {

double angle_between(const CartesianPoint& u, const CartesianPoint& v) noexcept {
    const double cx = u.y * v.z - u.z * v.y;
    const double cy = u.z * v.x - u.x * v.z;
    const double cz = u.x * v.y - u.y * v.x;
    const double cross = std::sqrt(cx * cx + cy * cy + cz * cz);
    return std::atan2(cross, u.dot(v));
}

double angular_distance(const SphericalPoint& a, const SphericalPoint& b) noexcept {
    return angle_between(unit_vector(a), unit_vector(b));
}

double great_circle_distance(const SphericalPoint& a, const SphericalPoint& b, double radius) noexcept {
    return angular_distance(a, b) * radius;
}

double chord_distance(const SphericalPoint& a, const SphericalPoint& b) noexcept {
    const CartesianPoint p = spherical_to_cartesian(a);
    const CartesianPoint q = spherical_to_cartesian(b);
    const double dx = p.x - q.x;
    const double dy = p.y - q.y;
    const double dz = p.z - q.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

double cosine_similarity(std::span<const double> a, std::span<const double> b) {
    check_equal(a.size(), b.size(), "vectors must have equal length for cosine similarity");
    double dot = 0.0;
    double na = 0.0;
    double nb = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        dot += a[i] * b[i];
        na += a[i] * a[i];
        nb += b[i] * b[i];
    }
    const double denom = std::sqrt(na) * std::sqrt(nb);
    if (denom < kEps) return 0.0;
    return std::clamp(dot / denom, -1.0, 1.0);
}

}  // namespace vantorel::core
