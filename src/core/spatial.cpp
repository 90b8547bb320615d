#include "core/spatial.hpp"

#include <algorithm>
#include <cmath>

#include "core/conversions.hpp"
#include "core/distance.hpp"
#include "core/invariant.hpp"
#include "core/numeric.hpp"

namespace vantorel::core::spatial {
namespace {

// L'Huilier's product for a spherical triangle with sides x, y, z.
double lhuilier_product(double x, double y, double z) noexcept {
    const double s = (x + y + z) * 0.5;
    return std::tan(s / 2.0) * std::tan((s - x) / 2.0) * std::tan((s - y) / 2.0) * std::tan((s - z) / 2.0);
}

double excess_from_sides(double x, double y, double z) noexcept {
    const double p = lhuilier_product(x, y, z);
    if (p < 0.0) return 0.0;
    return 4.0 * std::atan(std::sqrt(p));
}

double cap_area(double half_angle) noexcept { return kTwoPi * (1.0 - std::cos(half_angle)); }

// Caps whose union is the whole sphere and whose boundaries do not cross:
// their complements are disjoint, so the intersection is what the two areas
// count twice. Clamped at 0 against rounding at the touching limit.
double covering_intersection(double r1, double r2) noexcept {
    return std::fmax(cap_area(r1) + cap_area(r2) - kFourPi, 0.0);
}

// The sectors of both caps that span the lens, less the kite of the two
// centres and the two boundary crossings (two triangles of sides r1, r2, d).
double lens_area(double d, double r1, double r2) noexcept {
    const double sin_d = std::sin(d);
    const double cos_d = std::cos(d);
    const double cos_r1 = std::cos(r1);
    const double cos_r2 = std::cos(r2);
    const double a1 = std::acos(clamp_keep_nan((cos_r2 - cos_d * cos_r1) / (sin_d * std::sin(r1)), -1.0, 1.0));
    const double a2 = std::acos(clamp_keep_nan((cos_r1 - cos_d * cos_r2) / (sin_d * std::sin(r2)), -1.0, 1.0));
    const double excess = 4.0 * std::atan(std::sqrt(std::fmax(lhuilier_product(r1, r2, d), 0.0)));
    return 2.0 * a1 * (1.0 - cos_r1) + 2.0 * a2 * (1.0 - cos_r2) - 2.0 * excess;
}

}  // namespace

std::uint8_t lune_classify(const SphericalPoint& a, const SphericalPoint& b, const SphericalPoint& p) noexcept {
    const double delta = angular_distance(a, p) - angular_distance(b, p);
    if (std::fabs(delta) < 1e-12) return kOnBisector;
    return delta < 0.0 ? kNearerA : kNearerB;
}

double region_coherence(const SphericalPoint& centre, std::span<const SphericalPoint> points,
                        double half_angle) noexcept {
    if (half_angle <= 0.0 || points.empty()) return 0.0;
    const CartesianPoint axis = unit_vector(centre);
    std::size_t hits = 0;
    for (const SphericalPoint& p : points) {
        if (angle_between(axis, unit_vector(p)) <= half_angle) ++hits;
    }
    const double cap_share = ((1.0 - std::cos(half_angle)) * kTwoPi) / kFourPi;
    if (cap_share < kEps) return 0.0;
    return (static_cast<double>(hits) / static_cast<double>(points.size())) / cap_share;
}

double spherical_excess(const SphericalPoint& a, const SphericalPoint& b, const SphericalPoint& c) noexcept {
    const CartesianPoint ua = unit_vector(a);
    const CartesianPoint ub = unit_vector(b);
    const CartesianPoint uc = unit_vector(c);
    return excess_from_sides(angle_between(ub, uc), angle_between(ua, uc), angle_between(ua, ub));
}

double cap_intersection_area(const SphericalPoint& c1, const SphericalPoint& c2, double r1, double r2) noexcept {
    const double d = angular_distance(c1, c2);
    if (d >= r1 + r2) return 0.0;
    if (r1 >= r2 + d) return cap_area(r2);
    if (r2 >= r1 + d) return cap_area(r1);
    if (r1 + r2 + d >= kTwoPi) return covering_intersection(r1, r2);
    if (std::fabs(std::sin(d)) < 1e-15) {
        // Coincident centres leave the smaller cap; antipodal ones that got
        // past the tests above overlap only because the caps cover the sphere.
        return d < kPi / 2.0 ? cap_area(std::fmin(r1, r2)) : covering_intersection(r1, r2);
    }
    return lens_area(d, r1, r2);
}

std::vector<CapOverlap> pairwise_overlaps(std::span<const SphericalPoint> centres,
                                          std::span<const double> half_angles) {
    check_equal(centres.size(), half_angles.size(), "every cap needs a centre and a half-angle");
    std::vector<CapOverlap> overlaps;
    for (std::size_t i = 0; i < centres.size(); ++i) {
        for (std::size_t j = i + 1; j < centres.size(); ++j) {
            const double area = cap_intersection_area(centres[i], centres[j], half_angles[i], half_angles[j]);
            if (area > 1e-15) overlaps.push_back({i, j, area});
        }
    }
    std::stable_sort(overlaps.begin(), overlaps.end(),
                     [](const CapOverlap& x, const CapOverlap& y) { return x.area > y.area; });
    return overlaps;
}

std::vector<double> curvature_signature(std::size_t vertex, std::span<const SphericalPoint> points) {
    const std::size_t n = points.size();
    if (n < 3 || vertex >= n) return {};
    std::vector<CartesianPoint> units(n);
    std::transform(points.begin(), points.end(), units.begin(), [](const SphericalPoint& p) { return unit_vector(p); });
    std::vector<double> to_vertex(n);
    for (std::size_t m = 0; m < n; ++m) to_vertex[m] = angle_between(units[m], units[vertex]);

    std::vector<double> excesses;
    excesses.reserve((n - 1) * (n - 2) / 2);
    for (std::size_t j = 0; j < n; ++j) {
        if (j == vertex) continue;
        for (std::size_t k = j + 1; k < n; ++k) {
            if (k == vertex) continue;
            excesses.push_back(excess_from_sides(to_vertex[k], to_vertex[j], angle_between(units[j], units[k])));
        }
    }
    std::sort(excesses.begin(), excesses.end(), total_order_less);
    return excesses;
}

}  // namespace vantorel::core::spatial
