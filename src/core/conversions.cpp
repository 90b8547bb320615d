#include "core/conversions.hpp"

#include <algorithm>
#include <cmath>

#include "core/norm.hpp"
#include "core/numeric.hpp"

namespace vantorel::core {

CartesianPoint spherical_to_cartesian(const SphericalPoint& p) noexcept {
    const double s = std::sin(p.phi) * p.r;
    return {s * std::cos(p.theta), s * std::sin(p.theta), std::cos(p.phi) * p.r};
}

SphericalPoint cartesian_to_spherical(double x, double y, double z) noexcept {
    const double r = l2_norm(x, y, z);
    if (r < kEps) return {};
    double theta = std::fmod(std::atan2(y, x), kTwoPi);
    if (theta < 0.0) theta += kTwoPi;
    const double phi = std::acos(std::clamp(z / r, -1.0, 1.0));
    return {r, theta, phi};
}

SphericalPoint cartesian_to_spherical(const CartesianPoint& c) noexcept {
    return cartesian_to_spherical(c.x, c.y, c.z);
}

GeoPoint spherical_to_geo(double r, double theta, double phi) noexcept {
    const double lat = 90.0 - phi * kRadToDeg;
    const double l = kRadToDeg * theta;
    const double lon = l > 180.0 ? l - 360.0 : l;
    const double alt = r - 1.0 > 0.0 ? r - 1.0 : 0.0;
    return {lat, lon, alt};
}

GeoPoint spherical_to_geo(const SphericalPoint& p) noexcept { return spherical_to_geo(p.r, p.theta, p.phi); }

SphericalPoint geo_to_spherical(const GeoPoint& g) noexcept {
    double theta = std::fmod(g.lon * kDegToRad, kTwoPi);
    if (theta < 0.0) theta += kTwoPi;
    return {g.alt + 1.0, theta, (90.0 - g.lat) * kDegToRad};
}

CartesianPoint geo_to_cartesian(const GeoPoint& g) noexcept { return spherical_to_cartesian(geo_to_spherical(g)); }

CartesianPoint unit_vector(const SphericalPoint& p) noexcept {
    const double s = std::sin(p.phi);
    return {s * std::cos(p.theta), s * std::sin(p.theta), std::cos(p.phi)};
}

}  // namespace vantorel::core
