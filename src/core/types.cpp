#include "core/types.hpp"

#include <cmath>

#include "core/norm.hpp"
#include "core/numeric.hpp"

namespace vantorel::core {

Expected<SphericalPoint, VantorelError> SphericalPoint::make(double r, double theta, double phi) {
    if (r < 0.0) return Unexpected{VantorelError::invalid_radius(r)};
    if (!(theta >= 0.0 && theta < kTwoPi)) return Unexpected{VantorelError::invalid_theta(theta)};
    if (!(phi >= 0.0 && phi <= kPi)) return Unexpected{VantorelError::invalid_phi(phi)};
    return SphericalPoint{r, theta, phi};
}

double CartesianPoint::magnitude() const noexcept { return l2_norm(x, y, z); }

CartesianPoint CartesianPoint::normalize() const noexcept {
    const Norm m = norm_of(x, y, z);
    if (m.value() < kEps) return {};
    return {m.unit(x), m.unit(y), m.unit(z)};
}

Expected<GeoPoint, VantorelError> GeoPoint::make(double lat, double lon, double alt) {
    if (!(std::fabs(lat) <= 90.0)) return Unexpected{VantorelError::invalid_latitude(lat)};
    if (!(std::fabs(lon) <= 180.0)) return Unexpected{VantorelError::invalid_longitude(lon)};
    if (alt < 0.0) return Unexpected{VantorelError::invalid_altitude(alt)};
    return GeoPoint{lat, lon, alt};
}

}  // namespace vantorel::core
