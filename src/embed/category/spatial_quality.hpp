#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "core/spatial.hpp"
#include "core/types.hpp"
#include "embed/config.hpp"

namespace vantorel::embed {

struct CategoryEdge;

// (1 − alpha)² × threshold_evr_penalty + threshold_base: scales the cosine a
// member must reach with another category's mean to bridge to it.
double threshold_factor_of(double alpha, const BridgeConfig& bridges) noexcept;

// Spatial statistics of a layer's category caps (centroid and angular spread
// of each category). Built whole by `compute_with_config`; afterwards only the
// bridge-quality matrix changes, once the bridge graph exists.
struct SpatialQuality {
    std::vector<double> cap_areas;
    std::vector<double> exclusivity;  // the territorial value of each category
    std::vector<core::spatial::VoronoiCell> voronoi_cells;
    std::vector<core::spatial::CapOverlap> overlaps;  // pairs i < j in pair order, area > 1e-15
    std::vector<std::vector<double>> bridge_quality_matrix;
    double alpha = 0.0;  // explained-variance ratio of the global projection
    core::spatial::CoverageEstimate coverage;
    double bridge_threshold_factor = 0.0;

    // Centroids and cap radii must have equal lengths.
    static SpatialQuality compute_with_config(std::span<const core::SphericalPoint> centroids,
                                              std::span<const double> cap_radii, const PipelineConfig& config,
                                              double alpha);

    // Whether j is among the neighbours of Voronoi cell i; false for any i without a cell.
    [[nodiscard]] bool are_voronoi_neighbors(std::size_t i, std::size_t j) const noexcept;

    // max(√(t_a · t_b), 0.05) over the exclusivities, 1.0 standing in past the
    // end of the list; a NaN product gives 0.05.
    [[nodiscard]] double territorial_factor(std::size_t a, std::size_t b) const noexcept;

    // Rewrites the matrix from the graph's adjacency: entry (i, j) is the
    // territorial weight of i and j times the strongest bridge strength of
    // the edge i → j; entries without an edge stay 0.
    void set_bridge_quality_matrix(std::span<const std::vector<CategoryEdge>> adjacency);
};

}  // namespace vantorel::embed
