#include "embed/projection/projection.hpp"

#include <cmath>
#include <limits>

#include "core/conversions.hpp"
#include "core/format.hpp"
#include "core/invariant.hpp"
#include "core/norm.hpp"
#include "core/numeric.hpp"

namespace vantorel::embed {

double RadialStrategy::radius(double norm) const {
    return std::visit(
        [norm](const auto& r) -> double {
            using R = std::decay_t<decltype(r)>;
            if constexpr (std::is_same_v<R, Fixed>) {
                return r.value;
            } else if constexpr (std::is_same_v<R, Magnitude>) {
                return norm;
            } else {
                return (*r.fn)(norm);
            }
        },
        rule_);
}

namespace {

struct Message {
    std::string operator()(const ProjectionError::NoEmbeddings&) const {
        return "need at least one embedding to fit a projection";
    }
    std::string operator()(const ProjectionError::DimensionTooLow& e) const {
        return core::format("embedding dimension {} is below the minimum {} for this projection", e.dimension,
                            e.minimum);
    }
    std::string operator()(const ProjectionError::InconsistentDimension& e) const {
        return core::format("embedding {} has dimension {}, expected {}", e.index, e.got, e.expected);
    }
    std::string operator()(const ProjectionError::TooFewEmbeddings& e) const {
        return core::format("need at least {} embeddings, got {}", e.needed, e.got);
    }
    std::string operator()(const ProjectionError::NonPositiveBandwidth& e) const {
        return core::format("kernel bandwidth σ must be positive, got {}", e.sigma);
    }
};

}  // namespace

std::string ProjectionError::message() const { return std::visit(Message{}, kind); }

std::uint64_t splitmix64(std::uint64_t s) noexcept {
    std::uint64_t z = s;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

std::vector<double> gaussian_vector(std::uint64_t& state, std::size_t len) {
    constexpr double kUnit = 1.1102230246251565e-16;  // 2^-53
    std::vector<double> out(len);
    for (double& value : out) {
        double u1 = static_cast<double>(splitmix64(state + kGoldenGamma) >> 11) * kUnit;
        const double u2 = static_cast<double>(splitmix64(state + 2 * kGoldenGamma) >> 11) * kUnit;
        state += 2 * kGoldenGamma;
        u1 = std::fmax(u1, std::numeric_limits<double>::min());
        value = std::sqrt(-2.0 * std::log(u1)) * std::cos(core::kTwoPi * u2);
    }
    return out;
}

core::SphericalPoint place_on_sphere(double r, double x, double y, double z) noexcept {
    const core::Norm m = core::norm_of(x, y, z);
    if (m.value() < core::kEps) return {r, 0.0, 0.0};
    const core::SphericalPoint dir = core::cartesian_to_spherical(m.unit(x), m.unit(y), m.unit(z));
    if (dir.r < core::kEps) return {r, 0.0, 0.0};
    return {r, dir.theta, dir.phi};
}

core::SphericalPoint place_volumetric(double x, double y, double z) noexcept {
    const core::SphericalPoint p = core::cartesian_to_spherical(x, y, z);
    if (p.r < core::kEps) return {};
    return p;
}

void check_dimension(std::size_t expected, std::size_t got) {
    if (expected != got) core::stop(core::format("expected dimension {}, got {}", expected, got));
}

}  // namespace vantorel::embed
