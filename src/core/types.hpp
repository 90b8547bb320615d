#pragma once

#include "core/error.hpp"
#include "core/expected.hpp"

namespace vantorel::core {

// A point in spherical coordinates (physics convention): `theta` is the
// azimuth from +x towards +y, `phi` the polar angle from +z, both in radians.
struct SphericalPoint {
    double r = 0.0;
    double theta = 0.0;
    double phi = 0.0;

    // Validates r >= 0 (NaN passes), 0 <= theta < 2π and 0 <= phi <= π (NaN fails).
    static Expected<SphericalPoint, VantorelError> make(double r, double theta, double phi);
};

struct CartesianPoint {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    [[nodiscard]] double magnitude() const noexcept;
    // Unit vector in the same direction; (0, 0, 0) when shorter than machine epsilon.
    [[nodiscard]] CartesianPoint normalize() const noexcept;
    [[nodiscard]] double dot(const CartesianPoint& o) const noexcept { return x * o.x + y * o.y + z * o.z; }

    friend bool operator==(const CartesianPoint&, const CartesianPoint&) = default;
};

// Geographic coordinates in degrees; `alt` is the height above the unit
// sphere, so the point lies at radius alt + 1.
struct GeoPoint {
    double lat = 0.0;
    double lon = 0.0;
    double alt = 0.0;

    // Validates |lat| <= 90, |lon| <= 180 (NaN fails) and alt >= 0 (NaN passes).
    static Expected<GeoPoint, VantorelError> make(double lat, double lon, double alt);
};

}  // namespace vantorel::core
