#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "core/types.hpp"

namespace vantorel::embed {

// The rich result of a projection.
struct ProjectedPoint {
    core::SphericalPoint position;
    double certainty = 1.0;             // share of the embedding the 3-D image represents, in [0, 1]
    double intensity = 0.0;             // L2 norm of the raw embedding
    double projection_magnitude = 1.0;  // length of the 3-D image before the radial rule
};

// How a projection sets the radius of a projected point from the raw embedding's norm.
class RadialStrategy {
public:
    struct Fixed {
        double value;
    };
    struct Magnitude {};
    struct Custom {
        // Shared, never deep-copied: copies of a projection share one callable.
        std::shared_ptr<const std::function<double(double)>> fn;
    };
    using Rule = std::variant<Fixed, Magnitude, Custom>;

    RadialStrategy() : rule_(Magnitude{}) {}
    static RadialStrategy fixed(double value) { return RadialStrategy(Fixed{value}); }
    static RadialStrategy magnitude() { return RadialStrategy(Magnitude{}); }
    static RadialStrategy custom(std::function<double(double)> fn) {
        return RadialStrategy(Custom{std::make_shared<const std::function<double(double)>>(std::move(fn))});
    }

    [[nodiscard]] double radius(double norm) const;
    [[nodiscard]] const Rule& rule() const noexcept { return rule_; }

private:
    explicit RadialStrategy(Rule rule) : rule_(std::move(rule)) {}
    Rule rule_;
};

// Error of every projection fit. The kinds keep their declared order.
struct ProjectionError {
    struct NoEmbeddings {};
    struct DimensionTooLow {
        std::size_t dimension = 0;
        std::size_t minimum = 0;
    };
    struct InconsistentDimension {
        std::size_t index = 0;
        std::size_t expected = 0;
        std::size_t got = 0;
    };
    struct TooFewEmbeddings {
        std::size_t needed = 0;
        std::size_t got = 0;
    };
    struct NonPositiveBandwidth {
        double sigma = 0.0;
    };

    std::variant<NoEmbeddings, DimensionTooLow, InconsistentDimension, TooFewEmbeddings, NonPositiveBandwidth> kind;

    static ProjectionError no_embeddings() { return {NoEmbeddings{}}; }
    static ProjectionError dimension_too_low(std::size_t dimension, std::size_t minimum) {
        return {DimensionTooLow{dimension, minimum}};
    }
    static ProjectionError inconsistent_dimension(std::size_t index, std::size_t expected, std::size_t got) {
        return {InconsistentDimension{index, expected, got}};
    }
    static ProjectionError too_few_embeddings(std::size_t needed, std::size_t got) {
        return {TooFewEmbeddings{needed, got}};
    }
    static ProjectionError non_positive_bandwidth(double sigma) { return {NonPositiveBandwidth{sigma}}; }

    [[nodiscard]] std::string message() const;
};

// Every fitted projection maps an embedding to a point on the sphere.
template <class P>
concept Projection = requires(const P& p, std::span<const double> e) {
    { p.project(e) } -> std::same_as<core::SphericalPoint>;
    { p.project_rich(e) } -> std::same_as<ProjectedPoint>;
    { p.dimension() } -> std::convertible_to<std::size_t>;
};

// SplitMix64 + Box-Muller (cosine branch): `len` standard normal values, two
// generator draws each; `state` is advanced by 2γ per value.
std::vector<double> gaussian_vector(std::uint64_t& state, std::size_t len);

// One SplitMix64 output from the value s (no state update).
std::uint64_t splitmix64(std::uint64_t s) noexcept;
inline constexpr std::uint64_t kGoldenGamma = 0x9e3779b97f4a7c15ULL;

// Radius r with the direction of the 3-D image (x, y, z); (r, 0, 0) when the
// image is shorter than machine epsilon.
core::SphericalPoint place_on_sphere(double r, double x, double y, double z) noexcept;

// The volumetric rule: the 3-D image itself in spherical form, (0, 0, 0) when
// shorter than machine epsilon.
core::SphericalPoint place_volumetric(double x, double y, double z) noexcept;

// Stops with "expected dimension {}, got {}" when the lengths differ.
void check_dimension(std::size_t expected, std::size_t got);

}  // namespace vantorel::embed
