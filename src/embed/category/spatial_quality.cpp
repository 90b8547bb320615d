#include "embed/category/spatial_quality.hpp"

#include <algorithm>
#include <cmath>

#include "core/invariant.hpp"
#include "core/numeric.hpp"
#include "embed/category/category_graph.hpp"

namespace vantorel::embed {
namespace {

constexpr double kMinTerritorialFactor = 0.05;
// Intersections at or below this count as touching, not overlapping.
constexpr double kMinOverlapArea = 1e-15;

std::vector<double> cap_areas_of(std::span<const double> radii) {
    std::vector<double> areas(radii.size());
    std::ranges::transform(radii, areas.begin(), [](double r) { return (1.0 - std::cos(r)) * core::kTwoPi; });
    return areas;
}

std::vector<core::spatial::CapOverlap> overlaps_of(std::span<const core::SphericalPoint> centroids,
                                                   std::span<const double> radii) {
    std::vector<core::spatial::CapOverlap> out;
    for (std::size_t i = 0; i < centroids.size(); ++i) {
        for (std::size_t j = i + 1; j < centroids.size(); ++j) {
            const double area = core::spatial::cap_intersection_area(centroids[i], centroids[j], radii[i], radii[j]);
            if (area > kMinOverlapArea) out.push_back({i, j, area});
        }
    }
    return out;
}

std::vector<std::vector<double>> zero_matrix(std::size_t n) {
    return std::vector<std::vector<double>>(n, std::vector<double>(n, 0.0));
}

}  // namespace

double threshold_factor_of(double alpha, const BridgeConfig& bridges) noexcept {
    const double shortfall = 1.0 - alpha;
    return (shortfall * shortfall) * bridges.threshold_evr_penalty + bridges.threshold_base;
}

SpatialQuality SpatialQuality::compute_with_config(std::span<const core::SphericalPoint> centroids,
                                                   std::span<const double> cap_radii, const PipelineConfig& config,
                                                   double alpha) {
    core::check_equal(centroids.size(), cap_radii.size(), "every category cap needs a centroid and a radius");
    const std::size_t n = centroids.size();
    const SpatialConfig& samples = config.spatial;

    SpatialQuality q;
    q.cap_areas = cap_areas_of(cap_radii);
    q.exclusivity.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        q.exclusivity[i] = core::spatial::cap_exclusivity(i, centroids, cap_radii, samples.exclusivity_samples);
    }
    q.voronoi_cells = core::spatial::spherical_voronoi(centroids, samples.voronoi_samples);
    q.overlaps = overlaps_of(centroids, cap_radii);
    q.coverage = core::spatial::estimate_coverage(centroids, cap_radii, samples.coverage_samples);
    q.bridge_quality_matrix = zero_matrix(n);
    q.alpha = alpha;
    q.bridge_threshold_factor = threshold_factor_of(alpha, config.bridges);
    return q;
}

bool SpatialQuality::are_voronoi_neighbors(std::size_t i, std::size_t j) const noexcept {
    if (i >= voronoi_cells.size()) return false;
    return std::ranges::find(voronoi_cells[i].neighbors, j) != voronoi_cells[i].neighbors.end();
}

double SpatialQuality::territorial_factor(std::size_t a, std::size_t b) const noexcept {
    const double ta = a < exclusivity.size() ? exclusivity[a] : 1.0;
    const double tb = b < exclusivity.size() ? exclusivity[b] : 1.0;
    const double t = std::sqrt(ta * tb);
    return t > kMinTerritorialFactor ? t : kMinTerritorialFactor;
}

void SpatialQuality::set_bridge_quality_matrix(std::span<const std::vector<CategoryEdge>> adjacency) {
    const std::size_t n = exclusivity.size();
    bridge_quality_matrix = zero_matrix(n);
    for (std::size_t i = 0; i < adjacency.size(); ++i) {
        if (adjacency[i].empty()) continue;
        core::check_index(i, n);
        for (const CategoryEdge& edge : adjacency[i]) {
            core::check_index(edge.target, n);
            bridge_quality_matrix[i][edge.target] = territorial_factor(i, edge.target) * edge.max_bridge_strength;
        }
    }
}

}  // namespace vantorel::embed
