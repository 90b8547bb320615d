#pragma once

#include <string>
#include <variant>

namespace vantorel::core {

// Geometry error. The kinds keep their declared order (the variant index);
// each carries the values its message prints.
struct VantorelError {
    struct InvalidRadius {
        double r = 0.0;
    };
    struct InvalidTheta {
        double theta = 0.0;
    };
    struct InvalidPhi {
        double phi = 0.0;
    };
    struct InvalidLatitude {
        double lat = 0.0;
    };
    struct InvalidLongitude {
        double lon = 0.0;
    };
    struct InvalidAltitude {
        double alt = 0.0;
    };
    struct InvalidShellBounds {
        double inner = 0.0;
        double outer = 0.0;
    };
    struct InvalidBandBounds {
        double phi_min = 0.0;
        double phi_max = 0.0;
    };
    struct InvalidCone {
        double half_angle = 0.0;
    };
    struct InvalidCap {
        double half_angle = 0.0;
    };
    struct InvalidWedgeBounds {
        double theta_min = 0.0;
        double theta_max = 0.0;
    };
    struct ZeroVector {};

    std::variant<InvalidRadius, InvalidTheta, InvalidPhi, InvalidLatitude, InvalidLongitude, InvalidAltitude,
                 InvalidShellBounds, InvalidBandBounds, InvalidCone, InvalidCap, InvalidWedgeBounds, ZeroVector>
        kind;

    static VantorelError invalid_radius(double r) { return {InvalidRadius{r}}; }
    static VantorelError invalid_theta(double theta) { return {InvalidTheta{theta}}; }
    static VantorelError invalid_phi(double phi) { return {InvalidPhi{phi}}; }
    static VantorelError invalid_latitude(double lat) { return {InvalidLatitude{lat}}; }
    static VantorelError invalid_longitude(double lon) { return {InvalidLongitude{lon}}; }
    static VantorelError invalid_altitude(double alt) { return {InvalidAltitude{alt}}; }

    [[nodiscard]] std::string message() const;
};

}  // namespace vantorel::core
