#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "embed/json/json_record.hpp"
#include "embed/projection/projection.hpp"
#include "embed/tuning/search_space.hpp"
#include "stop_text.hpp"

namespace vantorel::embed {
namespace {

// A base whose untuned knobs differ from the defaults, so a copy shows.
PipelineConfig marked_base() {
    PipelineConfig base;
    base.inner_sphere.min_size = 33;
    base.inner_sphere.kernel_pca_min_size = 44;
    base.inner_sphere.min_kernel_improvement = 0.07;
    base.laplacian.k_neighbors = 99;
    base.laplacian.active_threshold = 0.5;
    base.spatial = {11, 12, 13};
    return base;
}

PipelineConfig with_knobs(ProjectionKind kind, std::uint64_t groups, double low_evr, double overlap, double base_t,
                          double penalty, double min_evr) {
    PipelineConfig c = marked_base();
    c.projection_kind = kind;
    c.routing.num_domain_groups = groups;
    c.routing.low_evr_threshold = low_evr;
    c.bridges.overlap_artifact_territorial = overlap;
    c.bridges.threshold_base = base_t;
    c.bridges.threshold_evr_penalty = penalty;
    c.inner_sphere.min_evr_improvement = min_evr;
    return c;
}

PipelineConfig laplacian(PipelineConfig c, std::uint64_t k, double threshold) {
    c.laplacian.k_neighbors = k;
    c.laplacian.active_threshold = threshold;
    return c;
}

TEST(SearchSpaceGrid, DefaultGridNumbering) {
    const SearchSpace space;
    const auto base = marked_base();
    ASSERT_EQ(space.grid_cardinality(), 7290u);

    const auto pca_first = with_knobs(ProjectionKind::Pca, 3, 0.25, 0.2, 0.4, 0.2, 0.05);
    EXPECT_EQ(space.config_at_index(0, base), pca_first);
    auto second = pca_first;
    second.routing.num_domain_groups = 5;
    EXPECT_EQ(space.config_at_index(1, base), second);
    EXPECT_EQ(space.config_at_index(728, base), with_knobs(ProjectionKind::Pca, 7, 0.45, 0.4, 0.6, 0.6, 0.15));

    const auto lap_first = with_knobs(ProjectionKind::LaplacianEigenmap, 3, 0.25, 0.2, 0.4, 0.2, 0.05);
    EXPECT_EQ(space.config_at_index(729, base), laplacian(lap_first, 10, 0.03));
    EXPECT_EQ(space.config_at_index(1458, base), laplacian(lap_first, 15, 0.03));
    EXPECT_EQ(space.config_at_index(7289, base),
              laplacian(with_knobs(ProjectionKind::LaplacianEigenmap, 7, 0.45, 0.4, 0.6, 0.6, 0.15), 25, 0.1));
    EXPECT_FALSE(space.config_at_index(7290, base).has_value());
}

TEST(SearchSpaceGrid, BlocksOfDuplicateEmptyAndHugeLists) {
    SearchSpace twice;
    twice.projection_kinds = {ProjectionKind::KernelPca, ProjectionKind::KernelPca};
    twice.num_domain_groups = {4};
    twice.low_evr_threshold = {0.3};
    twice.overlap_artifact_territorial = {0.1};
    twice.threshold_base = {0.2};
    twice.threshold_evr_penalty = {0.3};
    twice.min_evr_improvement = {0.4};
    ASSERT_EQ(twice.grid_cardinality(), 2u);
    EXPECT_EQ(twice.config_at_index(0, {}), twice.config_at_index(1, {}));
    EXPECT_EQ(twice.config_at_index(0, {})->projection_kind, ProjectionKind::KernelPca);

    // An empty Laplacian list empties only the LaplacianEigenmap block, which is skipped.
    SearchSpace no_k;
    no_k.laplacian_k_neighbors.clear();
    EXPECT_EQ(no_k.grid_cardinality(), 729u);
    SearchSpace lap_first = no_k;
    lap_first.projection_kinds = {ProjectionKind::LaplacianEigenmap, ProjectionKind::Pca};
    EXPECT_EQ(lap_first.config_at_index(0, {})->projection_kind, ProjectionKind::Pca);

    SearchSpace no_common;
    no_common.threshold_base.clear();
    EXPECT_EQ(no_common.grid_cardinality(), 0u);
    EXPECT_FALSE(no_common.config_at_index(0, {}).has_value());
    SearchSpace no_kinds;
    no_kinds.projection_kinds.clear();
    EXPECT_EQ(no_kinds.grid_cardinality(), 0u);
    EXPECT_FALSE(no_kinds.config_at_index(0, {}).has_value());

    // 200^9 configurations: the count saturates instead of wrapping, and the
    // numbering still decomposes every index below it.
    SearchSpace huge;
    huge.projection_kinds = {ProjectionKind::LaplacianEigenmap};
    SearchSpace::fields(huge, [](std::string_view, auto& list) { list.resize(200, list.front()); });
    huge.num_domain_groups[199] = 1234;
    constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
    EXPECT_EQ(huge.grid_cardinality(), kMax);
    EXPECT_EQ(huge.config_at_index(199, {})->routing.num_domain_groups, 1234u);
    EXPECT_TRUE(huge.config_at_index(kMax - 1, {}).has_value());
}

TEST(SearchSpaceSample, FirstTwoDrawsFromStateZero) {
    const SearchSpace space;
    const auto base = marked_base();
    std::uint64_t state = 0;

    const auto first = space.sample(state, base);
    EXPECT_EQ(first, laplacian(with_knobs(ProjectionKind::LaplacianEigenmap, 3, 0.35, 0.2, 0.5, 0.4, 0.15), 25, 0.1));
    EXPECT_EQ(state, 9 * kGoldenGamma);

    const auto second = space.sample(state, base);
    EXPECT_EQ(second, with_knobs(ProjectionKind::Pca, 5, 0.35, 0.4, 0.4, 0.2, 0.1));
    EXPECT_EQ(state, 16 * kGoldenGamma);

    SearchSpace empty = space;
    empty.min_evr_improvement.clear();
    EXPECT_EQ(testing::stop_text([&] { (void)empty.sample(state, base); }),
              "index out of bounds: the len is 0 but the index is 0");
}

// The dictionary form walks the same field list as this reader: every key
// required and the first missing one named in field order.
TEST(SearchSpaceFields, EveryKeyRequiredInFieldOrder) {
    const auto read = [](std::string_view text) {
        const auto r = read_json_text<SearchSpace>(text);
        return r ? std::string("ok") : r.error().description;
    };
    const std::string lists =
        R"("laplacian_k_neighbors":[10,15,25],"laplacian_active_threshold":[0.03,0.05,0.1],)"
        R"("num_domain_groups":[3,5,7],"low_evr_threshold":[0.25,0.35,0.45],)"
        R"("overlap_artifact_territorial":[0.2,0.3,0.4],"threshold_evr_penalty":[0.2,0.4,0.6])";
    const std::string full = R"({"projection_kinds":["Pca","LaplacianEigenmap"],)" + lists +
                             R"(,"threshold_base":[0.4,0.5,0.6],"min_evr_improvement":[0.05,0.1,0.15],"extra":1})";
    EXPECT_EQ(read_json_text<SearchSpace>(full).value(), SearchSpace{});
    EXPECT_EQ(read(R"({"projection_kinds":[],)" + lists + R"(,"min_evr_improvement":[]})"),
              "missing field `threshold_base`");
    EXPECT_EQ(read("{" + lists + R"(,"threshold_base":[]})"), "missing field `projection_kinds`");
    EXPECT_EQ(read(R"({"threshold_base":[],"threshold_base":[]})"), "duplicate field `threshold_base`");
    EXPECT_EQ(read(R"({"projection_kinds":["pca"]})"),
              "unknown variant `pca`, expected one of `Pca`, `KernelPca`, `LaplacianEigenmap`");
}

}  // namespace
}  // namespace vantorel::embed
