#include <gtest/gtest.h>

#include <oneapi/tbb/global_control.h>

#include <cmath>
#include <limits>
#include <vector>

#include "embed/category/category_fixture.hpp"
#include "core/distance.hpp"
#include "core/invariant.hpp"
#include "embed/category/category_layer.hpp"

namespace vantorel::embed {
namespace {

using testing::build_layer;

TEST(CategoryLayer, GroupsInOrderOfFirstAppearanceAndSummarises) {
    const std::vector<std::string> labels{"b", "a", "b", "B", "a", "b"};
    const Corpus e = Corpus::from_rows({{1.0, 0.1, 0.2, 0.0}, {0.1, 1.0, 0.3, 0.2}, {0.9, 0.3, 0.0, 0.1},
                                        {0.2, 0.1, 1.0, 0.4}, {0.0, 0.8, 0.1, 0.3}, {1.1, 0.0, 0.1, 0.5}});
    const auto built = build_layer(labels, e, testing::quick_config());
    const auto& s = built.layer.summaries();
    const SpatialQuality& q = built.layer.spatial_quality();

    ASSERT_EQ(s.size(), 3u);
    const std::vector<std::vector<std::size_t>> members{{0, 2, 5}, {1, 4}, {3}};
    for (std::size_t c = 0; c < 3; ++c) {
        EXPECT_EQ(built.layer.index_of(s[c].name), c);
        EXPECT_EQ(s[c].members, members[c]);
        const core::SphericalPoint centroid = built.projection.project(s[c].mean_embedding);
        double spread = 0.0;
        for (const std::size_t m : members[c]) spread += core::angular_distance(built.positions[m], centroid);
        EXPECT_NEAR(s[c].angular_spread, members[c].size() > 1 ? spread / static_cast<double>(members[c].size()) : 0.0,
                    1e-12);
        EXPECT_DOUBLE_EQ(s[c].cohesion, 1.0 / (1.0 + s[c].angular_spread));
        EXPECT_DOUBLE_EQ(s[c].territorial_efficiency, static_cast<double>(members[c].size()) / s[c].cell_area);
        EXPECT_EQ(std::tuple(s[c].cap_area, s[c].exclusivity, s[c].cell_area),
                  std::tuple(q.cap_areas[c], q.exclusivity[c], q.voronoi_cells[c].area));
        double quality = 0.0;
        for (const CategoryEdge& edge : built.layer.graph().adjacency[c]) {
            quality += q.territorial_factor(c, edge.target) * edge.mean_bridge_strength;
        }
        EXPECT_DOUBLE_EQ(s[c].bridge_quality, quality / 2.0);
    }
    EXPECT_EQ(std::tuple(s[0].name, s[1].name, s[2].name), std::tuple("b", "a", "B"));
    EXPECT_EQ(s[1].mean_embedding, (std::vector{(0.1 + 0.0) / 2, (1.0 + 0.8) / 2, (0.3 + 0.1) / 2, (0.2 + 0.3) / 2}));
    EXPECT_EQ(std::tuple(s[2].angular_spread, s[2].cohesion), std::tuple(0.0, 1.0));

    SpatialQuality copy = q;
    copy.set_bridge_quality_matrix(built.layer.graph().adjacency);
    EXPECT_EQ(q.bridge_quality_matrix, copy.bridge_quality_matrix);
    EXPECT_THROW(CategoryLayer::build_with_config(std::vector<std::string>(5, "x"), e, built.positions,
                                                  built.projection, {}, 1.0),
                 core::InvariantViolation);
}

TEST(CategoryLayer, SingleCategoryHasNoEdges) {
    const auto corpus = testing::clustered(1, 5, 4, 0.3, 3);
    const auto built = build_layer(corpus.labels, corpus.embeddings, testing::quick_config());
    EXPECT_TRUE(built.layer.graph().adjacency.at(0).empty());
    EXPECT_EQ(built.layer.summaries()[0].bridge_quality, 0.0);
}

// Category "c0" (items 0, 3, 6, ...) and the figures its inner sphere is
// judged by, computed without the layer.
struct InnerCase {
    testing::LabelledCorpus corpus = testing::clustered(3, 30, 10, 0.6, 21);
    ConfiguredProjection global = fit_projection_for_config(corpus.embeddings, {}).value();
    Corpus rows;
    double global_evr = 0.0, pca_evr = 0.0, kernel_evr = 0.0;

    InnerCase() {
        for (std::size_t i = 0; i < corpus.labels.size(); i += 3) {
            rows.push_row(corpus.embeddings[i]);
            global_evr += global.project_rich(corpus.embeddings[i]).certainty;
        }
        global_evr /= static_cast<double>(rows.size());
        pca_evr = PcaProjection::fit(rows, RadialStrategy::fixed(1.0))->explained_variance_ratio();
        kernel_evr = KernelPcaProjection::fit(rows, RadialStrategy::fixed(1.0))->explained_variance_ratio();
    }

    [[nodiscard]] CategoryLayer layer(const InnerSphereConfig& inner) const {
        PipelineConfig config = testing::quick_config();
        config.inner_sphere = inner;
        std::vector<core::SphericalPoint> at;
        for (std::size_t i = 0; i < corpus.embeddings.size(); ++i) at.push_back(global.project(corpus.embeddings[i]));
        return CategoryLayer::build_with_config(corpus.labels, corpus.embeddings, at, global, config, 0.5);
    }
    [[nodiscard]] std::optional<InnerSphere> sphere(const InnerSphereConfig& inner) const {
        return layer(inner).inner_spheres()[0];
    }
    [[nodiscard]] std::string_view kind(const InnerSphereConfig& inner) const {
        return inner_projection_name(sphere(inner).value().projection);
    }
};

double up(double x) { return std::nextafter(x, std::numeric_limits<double>::infinity()); }

TEST(InnerSpheres, ChoiceAndItsInclusiveThresholds) {
    const InnerCase c;
    const double gain = c.pca_evr - c.global_evr;
    // member count == min_size and improvement == min_evr_improvement qualify.
    const auto linear = c.sphere({30, gain, 1000, 0.0});
    ASSERT_TRUE(linear.has_value());
    EXPECT_EQ(inner_projection_name(linear->projection), "LinearPca");
    EXPECT_EQ(std::tuple(linear->inner_evr, linear->global_subset_evr, linear->evr_improvement),
              std::tuple(c.pca_evr, c.global_evr, gain));
    EXPECT_EQ(linear->members[29], 87u);
    const auto direct = std::get<PcaProjection>(linear->projection).project(c.rows[29]);
    EXPECT_EQ(std::tuple(linear->projected[29].theta, linear->projected[29].phi), std::tuple(direct.theta, direct.phi));
    EXPECT_FALSE(c.sphere({30, up(gain), 1000, 0.0}).has_value());
    EXPECT_FALSE(c.sphere({31, gain, 1000, 0.0}).has_value());

    // Below kernel_pca_min_size the kernel is never tried, however well it would do.
    EXPECT_EQ(c.kind({30, gain, 31, -10.0}), "LinearPca");
    // A kernel ratio of exactly pca_evr + margin keeps the linear sphere; a smaller margin takes the kernel.
    double margin = c.kernel_evr - c.pca_evr;
    while (c.pca_evr + margin < c.kernel_evr) margin = up(margin);
    ASSERT_EQ(c.pca_evr + margin, c.kernel_evr);
    EXPECT_EQ(c.kind({30, gain, 30, margin}), "LinearPca");
    while (!(c.kernel_evr > c.pca_evr + margin)) margin = std::nextafter(margin, -1.0);
    const auto kernel = c.sphere({30, gain, 30, margin});
    EXPECT_EQ(inner_projection_name(kernel->projection), "KernelPca");
    EXPECT_EQ(kernel->inner_evr, c.kernel_evr);

    const auto reports = c.layer({10, -1.0, 1000, 0.0}).inner_sphere_stats();
    ASSERT_EQ(reports.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(std::tuple(reports[k].category_index, reports[k].category_name, reports[k].member_count),
                  std::tuple(k, "c" + std::to_string(k), 30u));
    }
}

TEST(CategoryLayer, ResultsDoNotDependOnTheThreadCount) {
    const auto corpus = testing::clustered(6, 40, 16, 1.0, 8);
    PipelineConfig config = testing::quick_config();
    config.inner_sphere = {20, -1.0, 30, -1.0};  // kernel spheres everywhere
    const auto many = build_layer(corpus.labels, corpus.embeddings, config);
    const auto one = [&] {
        tbb::global_control single(tbb::global_control::max_allowed_parallelism, 1);
        return build_layer(corpus.labels, corpus.embeddings, config);
    }();
    ASSERT_EQ(many.layer.graph().bridges.size(), one.layer.graph().bridges.size());
    for (const auto& [pair, items] : many.layer.graph().bridges) {
        const auto other = one.layer.graph().bridges_between(pair.first, pair.second);
        ASSERT_EQ(other.size(), items.size());
        for (std::size_t k = 0; k < items.size(); ++k) {
            EXPECT_EQ(std::tuple(items[k].item_index, items[k].target_category, items[k].bridge_strength),
                      std::tuple(other[k].item_index, other[k].target_category, other[k].bridge_strength));
        }
    }
    for (std::size_t c = 0; c < 6; ++c) {
        EXPECT_EQ(inner_projection_name(many.layer.inner_spheres()[c]->projection), "KernelPca");
        const auto& a = many.layer.inner_spheres()[c]->projected;
        const auto& b = one.layer.inner_spheres()[c]->projected;
        for (std::size_t j = 0; j < a.size(); ++j) {
            EXPECT_EQ(std::tuple(a[j].theta, a[j].phi), std::tuple(b[j].theta, b[j].phi));
        }
    }
}

TEST(InnerSpheres, KernelMatrixAllowanceIsOneGibibyte) {
    EXPECT_TRUE(inner_kernel_fits(11585));  // 11585² · 8 bytes is just under 2³⁰
    EXPECT_FALSE(inner_kernel_fits(11586));
    EXPECT_FALSE(inner_kernel_fits(std::numeric_limits<std::size_t>::max()));  // no wrap-around
}

}  // namespace
}  // namespace vantorel::embed
