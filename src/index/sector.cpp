#include "index/sector.hpp"

#include <algorithm>
#include <cmath>

#include "core/conversions.hpp"
#include "core/format.hpp"
#include "core/norm.hpp"
#include "core/numeric.hpp"

namespace vantorel::index {

namespace {

// floor(divisions · fraction) saturated to a band number in [0, divisions − 1].
std::size_t band_of(double fraction, std::size_t divisions) noexcept {
    const double raw = std::floor(static_cast<double>(divisions) * fraction);
    return std::min(divisions - 1, core::saturating_cast<std::size_t>(raw));
}

}  // namespace

std::string IndexError::debug() const { return core::format("ZeroDivisions {{ field: {:?} }}", field); }

core::Expected<SectorGrid, IndexError> SectorGrid::try_new(std::size_t theta_divisions, std::size_t phi_divisions) {
    if (theta_divisions == 0) return core::Unexpected{IndexError::zero_divisions("theta_divisions")};
    if (phi_divisions == 0) return core::Unexpected{IndexError::zero_divisions("phi_divisions")};
    return SectorGrid(theta_divisions, phi_divisions);
}

SectorGrid SectorGrid::make(std::size_t theta_divisions, std::size_t phi_divisions) {
    auto grid = try_new(theta_divisions, phi_divisions);
    if (!grid) {
        core::stop("SectorIndex::new called with zero divisions; use try_new to handle: " + grid.error().debug());
    }
    return std::move(*grid);
}

SectorGrid::SectorGrid(std::size_t theta_divisions, std::size_t phi_divisions)
    : theta_divisions_(theta_divisions), phi_divisions_(phi_divisions) {
    const double dt = core::kTwoPi / static_cast<double>(theta_divisions);
    const double dp = core::kPi / static_cast<double>(phi_divisions);
    const double sides[] = {dp, dt};
    diagonal_ = core::l2_norm(sides);
    slack_ = 1.0 - std::cos(diagonal_);

    centres_.reserve(core::saturating_mul(theta_divisions, phi_divisions));
    for (std::size_t ti = 0; ti < theta_divisions; ++ti) {
        // The mean of the band's two edges, not the lower edge plus half a band.
        const double theta = (static_cast<double>(ti) * dt + static_cast<double>(ti + 1) * dt) * 0.5;
        for (std::size_t pi = 0; pi < phi_divisions; ++pi) {
            const double phi = (static_cast<double>(pi) * dp + static_cast<double>(pi + 1) * dp) * 0.5;
            centres_.push_back(core::unit_vector({1.0, theta, phi}));
        }
    }
}

std::size_t SectorGrid::sector_of(const core::SphericalPoint& position) const noexcept {
    const std::size_t ti = band_of(position.theta / core::kTwoPi, theta_divisions_);
    const std::size_t pi = band_of(position.phi / core::kPi, phi_divisions_);
    return ti * phi_divisions_ + pi;
}

bool SectorGrid::takes(std::size_t s, const core::CartesianPoint& q, double radius) const {
    const double dot = core::clamp_keep_nan(centre(s).dot(q), -1.0, 1.0);
    return radius + slack_ >= 1.0 - dot;
}

}  // namespace vantorel::index
