#pragma once

#include <string>

namespace vantorel::core {

// Geometry error. The kinds keep their declared order; each carries the
// values its message prints.
struct VantorelError {
    enum class Kind {
        InvalidRadius,
        InvalidTheta,
        InvalidPhi,
        InvalidLatitude,
        InvalidLongitude,
        InvalidAltitude,
        InvalidShellBounds,
        InvalidBandBounds,
        InvalidCone,
        InvalidCap,
        InvalidWedgeBounds,
        ZeroVector,
    };

    Kind kind;
    double first = 0.0;
    double second = 0.0;

    static VantorelError invalid_radius(double r) { return {Kind::InvalidRadius, r}; }
    static VantorelError invalid_theta(double theta) { return {Kind::InvalidTheta, theta}; }
    static VantorelError invalid_phi(double phi) { return {Kind::InvalidPhi, phi}; }
    static VantorelError invalid_latitude(double lat) { return {Kind::InvalidLatitude, lat}; }
    static VantorelError invalid_longitude(double lon) { return {Kind::InvalidLongitude, lon}; }
    static VantorelError invalid_altitude(double alt) { return {Kind::InvalidAltitude, alt}; }

    [[nodiscard]] std::string message() const;

    friend bool operator==(const VantorelError&, const VantorelError&) = default;
};

}  // namespace vantorel::core
