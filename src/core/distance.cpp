#include "core/distance.hpp"

#include <algorithm>
#include <cmath>

#include "core/conversions.hpp"
#include "core/invariant.hpp"
#include "core/norm.hpp"
#include "core/numeric.hpp"

namespace vantorel::core {
namespace {

// a · b over |a| |b| with a and b each scaled by its power of two, which
// leaves the ratio unchanged and keeps every sum in range; with the product
// of the true norms, 0 for both when either vector is zero.
struct ScaledRatio {
    double ratio = 0.0;
    double norm_product = 0.0;
};

ScaledRatio scaled_ratio(std::span<const double> a, std::span<const double> b) noexcept {
    const Norm na = rescaled_norm(a);
    const Norm nb = rescaled_norm(b);
    const double denom = na.length * nb.length;
    if (denom == 0.0) return {};
    double dot = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) dot += (a[i] * na.factor) * (b[i] * nb.factor);
    return {dot / denom, na.value() * nb.value()};
}

// 0 when the product of the true norms is below epsilon, as on the plain road.
double rescaled_cosine(std::span<const double> a, std::span<const double> b) noexcept {
    const ScaledRatio r = scaled_ratio(a, b);
    if (r.norm_product < kEps) return 0.0;
    return std::clamp(r.ratio, -1.0, 1.0);
}

}  // namespace

double angle_between(const CartesianPoint& u, const CartesianPoint& v) noexcept {
    const double cx = u.y * v.z - u.z * v.y;
    const double cy = u.z * v.x - u.x * v.z;
    const double cz = u.x * v.y - u.y * v.x;
    const double cross = l2_norm(cx, cy, cz);
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
    return l2_norm(dx, dy, dz);
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
    if (const auto cosine = cosine_from_sums(dot, na, nb)) return *cosine;
    return rescaled_cosine(a, b);
}

double rescaled_cosine_ratio(std::span<const double> a, std::span<const double> b) noexcept {
    return scaled_ratio(a, b).ratio;
}

std::optional<double> cosine_from_sums(double dot, double norm_sq_a, double norm_sq_b) noexcept {
    const double denom = std::sqrt(norm_sq_a) * std::sqrt(norm_sq_b);
    // An overflowing dot product implies an overflowing squared norm.
    if (std::isinf(norm_sq_a) || std::isinf(norm_sq_b) || std::isinf(denom)) return std::nullopt;
    if (denom < kEps) return 0.0;
    return std::clamp(dot / denom, -1.0, 1.0);
}

}  // namespace vantorel::core
