#include "core/error.hpp"

#include "core/format.hpp"
#include "core/invariant.hpp"

namespace vantorel::core {

std::string VantorelError::message() const {
    switch (kind) {
        case Kind::InvalidRadius: return format("invalid radius {}: must be >= 0", first);
        case Kind::InvalidTheta: return format("invalid theta {}: must be in [0, 2π)", first);
        case Kind::InvalidPhi: return format("invalid phi {}: must be in [0, π]", first);
        case Kind::InvalidLatitude: return format("invalid latitude {}: must be in [-90, 90]", first);
        case Kind::InvalidLongitude: return format("invalid longitude {}: must be in [-180, 180]", first);
        case Kind::InvalidAltitude: return format("invalid altitude {}: must be >= 0", first);
        case Kind::InvalidShellBounds:
            return format("invalid shell bounds: inner {} must be < outer {}", first, second);
        case Kind::InvalidBandBounds:
            return format("invalid band bounds: phi_min {} must be < phi_max {}", first, second);
        case Kind::InvalidCone: return format("invalid cone: half_angle {} must be in (0, π]", first);
        case Kind::InvalidCap: return format("invalid cap: half_angle {} must be in (0, π]", first);
        case Kind::InvalidWedgeBounds:
            return format("invalid wedge bounds: theta_min {} and theta_max {} must be in [0, 2π)", first, second);
        case Kind::ZeroVector: return "zero vector cannot be normalized";
    }
    stop("unknown geometry error kind");
}

}  // namespace vantorel::core
