#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "embed/category/category_fixture.hpp"
#include "core/distance.hpp"
#include "embed/category/category_graph.hpp"

namespace vantorel::embed {
namespace {

// Categories of consecutive item blocks, with plainly computed means.
std::vector<CategorySummary> summaries_of(const Corpus& e, const std::vector<std::size_t>& sizes,
                                          const std::vector<core::SphericalPoint>& centroids) {
    std::vector<CategorySummary> out(sizes.size());
    for (std::size_t c = 0, next = 0; c < sizes.size(); ++c) {
        out[c].mean_embedding.assign(e[0].size(), 0.0);
        for (std::size_t m = 0; m < sizes[c]; ++m, ++next) {
            out[c].members.push_back(next);
            for (std::size_t k = 0; k < e[0].size(); ++k) out[c].mean_embedding[k] += e[next][k];
        }
        for (double& v : out[c].mean_embedding) v /= static_cast<double>(sizes[c]);
        out[c].centroid = centroids[c];
    }
    return out;
}

SpatialQuality quality_of(std::vector<double> exclusivity, const std::vector<std::vector<std::size_t>>& neighbours,
                          double factor) {
    SpatialQuality q;
    q.exclusivity = std::move(exclusivity);
    for (const auto& n : neighbours) q.voronoi_cells.push_back({n, q.voronoi_cells.size(), 1.0});
    q.bridge_threshold_factor = factor;
    return q;
}

auto fields(const BridgeItem& b) {
    return std::tuple(b.item_index, b.source_category, b.target_category, b.affinity_to_source, b.affinity_to_target,
                      b.bridge_strength, static_cast<int>(b.classification));
}

auto fields(const CategoryEdge& e) {
    return std::tuple(e.target, e.centroid_distance, e.bridge_count, e.max_bridge_strength, e.mean_bridge_strength,
                      e.weight);
}

TEST(CategoryGraph, AgreesWithAnIndependentCosineMatrix) {
    const auto corpus = testing::clustered(1, 40, 12, 1.0, 82);
    const std::vector<core::SphericalPoint> centroids{{1, 0.1, 0.5}, {1, 2.0, 1.5}, {1, 4.0, 2.5}, {1, 5.5, 1.0}};
    const auto summaries = summaries_of(corpus.embeddings, {9, 13, 8, 10}, centroids);
    const SpatialQuality q = quality_of({0.9, 0.2, 0.6, 1.0}, {{1, 3}, {0, 2}, {1}, {0}}, 0.62);
    PipelineConfig config;
    config.bridges.overlap_artifact_territorial = 0.4;
    const CategoryGraph g = build_graph(summaries, corpus.embeddings, q, config);

    auto tf = [&](std::size_t i, std::size_t j) {
        return std::max(std::sqrt(q.exclusivity[i] * q.exclusivity[j]), 0.05);
    };
    std::vector<BridgeItem> all;
    for (std::size_t i = 0; i < 4; ++i) {
        for (const std::size_t m : summaries[i].members) {
            const double ci = core::cosine_similarity(corpus.embeddings[m], summaries[i].mean_embedding);
            for (std::size_t j = 0; j < 4; ++j) {
                const double cj = core::cosine_similarity(corpus.embeddings[m], summaries[j].mean_embedding);
                if (j == i || cj <= 0.0 || cj <= 0.62 * ci) continue;
                const double h = ci + cj > 2.220446049250313e-16 ? 2.0 * ci * cj / (ci + cj) : 0.0;
                all.push_back({m, i, j, ci, cj, h * tf(i, j), BridgeClassification::Weak});
            }
        }
    }
    std::vector<double> sorted;
    for (const BridgeItem& b : all) sorted.push_back(b.bridge_strength);
    std::ranges::sort(sorted);
    ASSERT_EQ(sorted.size() % 2, 0u);  // an even count tells the upper median from the lower
    const double median = sorted[sorted.size() / 2];
    ASSERT_LT(sorted[sorted.size() / 2 - 1], median);
    std::map<CategoryPair, std::vector<BridgeItem>> expected;
    std::set<int> kinds;
    for (BridgeItem& b : all) {
        b.classification = tf(b.source_category, b.target_category) < 0.4 ? BridgeClassification::OverlapArtifact
                           : b.bridge_strength < median                    ? BridgeClassification::Weak
                                                                           : BridgeClassification::Genuine;
        expected[{b.source_category, b.target_category}].push_back(b);
        kinds.insert(static_cast<int>(b.classification));
    }
    ASSERT_EQ(kinds.size(), 3u);
    ASSERT_EQ(g.bridges.size(), expected.size());
    for (auto& [pair, items] : expected) {
        std::ranges::stable_sort(items, [](auto& a, auto& b) { return a.bridge_strength > b.bridge_strength; });
        const auto got = g.bridges_between(pair.first, pair.second);
        ASSERT_EQ(got.size(), items.size());
        for (std::size_t k = 0; k < items.size(); ++k) EXPECT_EQ(fields(got[k]), fields(items[k]));  // bit-exact
    }
    for (std::size_t i = 0; i < 4; ++i) {
        std::vector<CategoryEdge> edges;
        for (std::size_t j = 0; j < 4; ++j) {
            if (j == i) continue;
            const auto& items = expected[{i, j}];
            double sum = 0.0;
            for (const BridgeItem& b : items) sum += b.bridge_strength;
            const double mean = items.empty() ? 0.0 : sum / static_cast<double>(items.size());
            const double d = core::angular_distance(centroids[i], centroids[j]);
            const double v = q.are_voronoi_neighbors(i, j) ? 0.8 : 1.0;
            edges.push_back({j, d, items.size(), items.empty() ? 0.0 : items[0].bridge_strength, mean,
                             v * d / std::max(static_cast<double>(items.size()) * mean + 1.0, 1.0)});
        }
        std::ranges::stable_sort(edges, [](auto& a, auto& b) { return a.weight < b.weight; });
        ASSERT_EQ(g.adjacency[i].size(), 3u);
        for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(fields(g.adjacency[i][k]), fields(edges[k]));
    }
}

TEST(CategoryGraph, EqualStrengthsKeepOrderAndNegativeStrengthsKeepWeightsUsable) {
    // Category 0: items 0-2, two of them equal; category 1: items 3-5, where
    // item 3 points away from its own category's mean.
    const Corpus e = Corpus::from_rows(
        {{1.0, 0.2, 0.0}, {1.0, 0.2, 0.0}, {1.0, 0.0, 0.3}, {0.6, -0.8, 0.0}, {0.0, 1.0, 0.1}, {0.0, 1.0, 0.0}});
    const auto summaries = summaries_of(e, {3, 3}, {{1, 0.0, 1.0}, {1, 1.0, 1.0}});
    PipelineConfig config;
    config.bridges.overlap_artifact_territorial = 0.5;  // exactly the pair's territorial factor
    const CategoryGraph g = build_graph(summaries, e, quality_of({0.25, 1.0}, {{}, {}}, 0.5), config);

    for (const auto& [pair, items] : g.bridges) {
        for (const BridgeItem& b : items) EXPECT_NE(b.classification, BridgeClassification::OverlapArtifact);
    }
    const auto forward = g.bridges_between(0, 1);
    ASSERT_GE(forward.size(), 2u);
    EXPECT_EQ(forward[0].bridge_strength, forward[1].bridge_strength);
    EXPECT_EQ(std::tuple(forward[0].item_index, forward[1].item_index), std::tuple(0u, 1u));

    // The negative strength is reported as the formula gives it, but the edge
    // weight stays the plain centroid distance instead of turning negative.
    const BridgeItem& negative = g.bridges_between(1, 0).back();
    const double ci = negative.affinity_to_source, cj = negative.affinity_to_target;
    EXPECT_EQ(negative.item_index, 3u);
    EXPECT_EQ(negative.bridge_strength, 2.0 * ci * cj / (ci + cj) * 0.5);
    const CategoryEdge& back = g.adjacency[1][0];
    EXPECT_LT(static_cast<double>(back.bridge_count) * back.mean_bridge_strength + 1.0, 0.0);
    EXPECT_EQ(back.weight, back.centroid_distance);
    EXPECT_EQ(bridge_classification_name(BridgeClassification::OverlapArtifact), "OverlapArtifact");
}

}  // namespace
}  // namespace vantorel::embed
