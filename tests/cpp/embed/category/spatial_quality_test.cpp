#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "core/invariant.hpp"
#include "core/spatial.hpp"
#include "embed/category/category_graph.hpp"
#include "embed/category/spatial_quality.hpp"

namespace vantorel::embed {
namespace {

using core::SphericalPoint;

TEST(SpatialQuality, MatchesTheRegionFunctionsCalledDirectly) {
    const std::vector<SphericalPoint> centres{{1, 0.2, 1.0}, {1, 0.6, 1.2}, {1, 3.5, 2.0}, {1, 5.0, 0.4}};
    const std::vector<double> radii{0.5, 0.4, 0.3, 0.05};
    PipelineConfig config;
    config.spatial = {5000, 7000, 6000};
    const SpatialQuality q = SpatialQuality::compute_with_config(centres, radii, config, 0.3);

    const auto cells = core::spatial::spherical_voronoi(centres, 6000);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_DOUBLE_EQ(q.cap_areas[i], 2.0 * M_PI * (1.0 - std::cos(radii[i])));
        EXPECT_EQ(q.exclusivity[i], core::spatial::cap_exclusivity(i, centres, radii, 7000));
        EXPECT_EQ(q.voronoi_cells[i].neighbors, cells[i].neighbors);
        EXPECT_EQ(q.voronoi_cells[i].area, cells[i].area);
    }
    EXPECT_EQ(q.coverage.covered_area, core::spatial::estimate_coverage(centres, radii, 5000).covered_area);
    // Only the first two caps meet.
    ASSERT_EQ(q.overlaps.size(), 1u);
    EXPECT_EQ(q.overlaps[0].j, 1u);
    EXPECT_EQ(q.overlaps[0].area, core::spatial::cap_intersection_area(centres[0], centres[1], 0.5, 0.4));
    EXPECT_EQ(q.bridge_quality_matrix, std::vector<std::vector<double>>(4, std::vector<double>(4, 0.0)));
    EXPECT_DOUBLE_EQ(q.bridge_threshold_factor, 0.5 + 0.4 * 0.49);
}

TEST(SpatialQuality, EdgeInputs) {
    PipelineConfig config;
    config.spatial = {1000, 1000, 1000};
    const SpatialQuality none = SpatialQuality::compute_with_config({}, {}, config, 2.0);
    EXPECT_TRUE(none.exclusivity.empty() && none.voronoi_cells.empty() && none.bridge_quality_matrix.empty());
    EXPECT_EQ(none.coverage.void_samples, 1000u);
    EXPECT_DOUBLE_EQ(none.bridge_threshold_factor, 0.9);  // alpha is not clamped: 2 acts like 0

    // Identical caps overlap by a whole cap.
    const SphericalPoint c{1, 1.0, 1.0};
    const auto twin = SpatialQuality::compute_with_config(std::vector{c, c}, std::vector{0.3, 0.3}, config, 1.0);
    ASSERT_EQ(twin.overlaps.size(), 1u);
    EXPECT_NEAR(twin.overlaps[0].area, twin.cap_areas[0], 1e-12);
    EXPECT_EQ(twin.bridge_threshold_factor, 0.5);

    EXPECT_FALSE(twin.are_voronoi_neighbors(2, 0));
    EXPECT_FALSE(twin.are_voronoi_neighbors(0, 0));
    EXPECT_THROW(SpatialQuality::compute_with_config(std::vector{c, c}, std::vector{0.3}, config, 1.0),
                 core::InvariantViolation);
}

TEST(SpatialQuality, BridgeQualityMatrixWeighsTheStrongestBridge) {
    SpatialQuality q;
    q.exclusivity = {0.0, 0.0, 0.25, 1.0};
    auto edge = [](std::size_t target, double strongest) { return CategoryEdge{target, 0, 0, strongest, 0, 0}; };
    const std::vector<std::vector<CategoryEdge>> adjacency{{edge(1, 0.8)}, {}, {edge(3, 0.6), edge(0, 0.4)}, {}};
    q.set_bridge_quality_matrix(adjacency);
    const auto first = q.bridge_quality_matrix;
    q.set_bridge_quality_matrix(adjacency);
    EXPECT_EQ(q.bridge_quality_matrix, first);  // rewritten, not accumulated
    EXPECT_DOUBLE_EQ(first[0][1], 0.05 * 0.8);
    EXPECT_DOUBLE_EQ(first[2][3], 0.5 * 0.6);
    EXPECT_DOUBLE_EQ(first[2][0], 0.05 * 0.4);
    EXPECT_EQ(first[1][0] + first[3][2], 0.0);  // only the edge's own row is written

    EXPECT_EQ(q.territorial_factor(3, 9), 1.0);
    q.exclusivity[0] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(q.territorial_factor(0, 3), 0.05);
    EXPECT_THROW(q.set_bridge_quality_matrix(std::vector<std::vector<CategoryEdge>>{{edge(4, 1.0)}}),
                 core::InvariantViolation);
}

}  // namespace
}  // namespace vantorel::embed
