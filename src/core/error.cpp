#include "core/error.hpp"

#include "core/format.hpp"

namespace vantorel::core {
namespace {

using E = VantorelError;

struct Message {
    std::string operator()(const E::InvalidRadius& e) const { return format("invalid radius {}: must be >= 0", e.r); }
    std::string operator()(const E::InvalidTheta& e) const {
        return format("invalid theta {}: must be in [0, 2π)", e.theta);
    }
    std::string operator()(const E::InvalidPhi& e) const { return format("invalid phi {}: must be in [0, π]", e.phi); }
    std::string operator()(const E::InvalidLatitude& e) const {
        return format("invalid latitude {}: must be in [-90, 90]", e.lat);
    }
    std::string operator()(const E::InvalidLongitude& e) const {
        return format("invalid longitude {}: must be in [-180, 180]", e.lon);
    }
    std::string operator()(const E::InvalidAltitude& e) const {
        return format("invalid altitude {}: must be >= 0", e.alt);
    }
    std::string operator()(const E::InvalidShellBounds& e) const {
        return format("invalid shell bounds: inner {} must be < outer {}", e.inner, e.outer);
    }
    std::string operator()(const E::InvalidBandBounds& e) const {
        return format("invalid band bounds: phi_min {} must be < phi_max {}", e.phi_min, e.phi_max);
    }
    std::string operator()(const E::InvalidCone& e) const {
        return format("invalid cone: half_angle {} must be in (0, π]", e.half_angle);
    }
    std::string operator()(const E::InvalidCap& e) const {
        return format("invalid cap: half_angle {} must be in (0, π]", e.half_angle);
    }
    std::string operator()(const E::InvalidWedgeBounds& e) const {
        return format("invalid wedge bounds: theta_min {} and theta_max {} must be in [0, 2π)", e.theta_min,
                      e.theta_max);
    }
    std::string operator()(const E::ZeroVector&) const { return "zero vector cannot be normalized"; }
};

}  // namespace

std::string VantorelError::message() const { return std::visit(Message{}, kind); }

}  // namespace vantorel::core
