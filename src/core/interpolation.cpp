#include "core/interpolation.hpp"

#include <cmath>

#include "core/conversions.hpp"
#include "core/distance.hpp"
#include "core/numeric.hpp"

namespace vantorel::core {
namespace {

// A unit vector perpendicular to u: u crossed with the axis it is least aligned with.
CartesianPoint perpendicular(const CartesianPoint& u) noexcept {
    const double ax = std::fabs(u.x);
    const double ay = std::fabs(u.y);
    const double az = std::fabs(u.z);
    CartesianPoint axis{};
    if (ax <= ay && ax <= az) {
        axis.x = 1.0;
    } else if (ay <= az) {
        axis.y = 1.0;
    } else {
        axis.z = 1.0;
    }
    const CartesianPoint c{u.y * axis.z - u.z * axis.y, u.z * axis.x - u.x * axis.z, u.x * axis.y - u.y * axis.x};
    return c.normalize();
}

}  // namespace

SphericalPoint slerp(const SphericalPoint& a, const SphericalPoint& b, double t) noexcept {
    const CartesianPoint u = unit_vector(a);
    const CartesianPoint v = unit_vector(b);
    const double omega = angle_between(u, v);
    if (std::fabs(omega) < 1e-10) return {1.0, a.theta, a.phi};

    t = clamp_keep_nan(t, 0.0, 1.0);
    const double sin_omega = std::sin(omega);
    // Between (near-)antipodal directions every great circle is a shortest
    // path and the general formula divides noise by noise; turn about a fixed
    // axis perpendicular to a instead.
    if (sin_omega < 1e-10) {
        const CartesianPoint p = perpendicular(u);
        const double c = std::cos(t * omega);
        const double s = std::sin(t * omega);
        return cartesian_to_spherical(c * u.x + s * p.x, c * u.y + s * p.y, c * u.z + s * p.z);
    }
    const double wa = std::sin((1.0 - t) * omega) / sin_omega;
    const double wb = std::sin(t * omega) / sin_omega;
    return cartesian_to_spherical(wa * u.x + wb * v.x, wa * u.y + wb * v.y, wa * u.z + wb * v.z);
}

}  // namespace vantorel::core
