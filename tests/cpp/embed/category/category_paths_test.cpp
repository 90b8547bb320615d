#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "embed/category/category_fixture.hpp"
#include "core/distance.hpp"
#include "embed/category/category_layer.hpp"

namespace vantorel::embed {
namespace {

using testing::build_layer;

// Plain O(n²) Dijkstra over the adjacency weights.
std::vector<double> shortest_distances(const CategoryGraph& g, std::size_t source) {
    const std::size_t n = g.adjacency.size();
    std::vector<double> dist(n, std::numeric_limits<double>::infinity());
    std::vector<bool> done(n, false);
    dist[source] = 0.0;
    for (std::size_t round = 0; round < n; ++round) {
        std::size_t u = n;
        for (std::size_t v = 0; v < n; ++v) {
            if (!done[v] && (u == n || dist[v] < dist[u])) u = v;
        }
        done[u] = true;
        for (const CategoryEdge& e : g.adjacency[u]) dist[e.target] = std::min(dist[e.target], dist[u] + e.weight);
    }
    return dist;
}

const CategoryEdge& edge_between(const CategoryGraph& g, std::size_t from, std::size_t to) {
    return *std::ranges::find_if(g.adjacency[from], [to](const CategoryEdge& e) { return e.target == to; });
}

// Checks the path between every pair of categories; returns the most steps seen.
std::size_t check_all_paths(const CategoryLayer& layer) {
    const auto& s = layer.summaries();
    const auto& g = layer.graph();
    const auto& q = layer.spatial_quality();
    std::size_t longest = 0;
    for (std::size_t a = 0; a < s.size(); ++a) {
        const std::vector<double> dist = shortest_distances(g, a);
        for (std::size_t b = 0; b < s.size(); ++b) {
            const auto path = layer.category_path(s[a].name, s[b].name);
            EXPECT_NEAR(path.value().total_distance, dist[b], 1e-12);
            EXPECT_EQ(path->steps.front().category_index, a);
            EXPECT_EQ(path->steps.back().category_index, b);
            longest = std::max(longest, path->steps.size());
            double walked = 0.0;
            double confidence = 1.0;
            for (std::size_t k = 0; k + 1 < path->steps.size(); ++k) {
                const CategoryPathStep& step = path->steps[k];
                const std::size_t u = step.category_index, v = path->steps[k + 1].category_index;
                EXPECT_EQ(step.cumulative_distance, walked);
                walked += edge_between(g, u, v).weight;
                const auto bridges = g.bridges_between(u, v);
                EXPECT_EQ(step.bridges_to_next.size(), std::min<std::size_t>(bridges.size(), 3));
                for (std::size_t i = 0; i < step.bridges_to_next.size(); ++i) {
                    EXPECT_EQ(step.bridges_to_next[i].item_index, bridges[i].item_index);
                }
                const double boost = q.are_voronoi_neighbors(u, v) ? 1.2 : 1.0;
                const double tf = std::max(std::sqrt(q.exclusivity[u] * q.exclusivity[v]), 0.05);
                const double hop = std::min(edge_between(g, u, v).max_bridge_strength * tf * boost, 1.0);
                EXPECT_DOUBLE_EQ(step.hop_confidence, hop);
                confidence *= std::max(hop, 0.01);
            }
            EXPECT_EQ(path->total_distance, walked);
            EXPECT_EQ(path->steps.back().cumulative_distance, walked);
            EXPECT_TRUE(path->steps.back().bridges_to_next.empty());
            EXPECT_EQ(path->steps.back().hop_confidence, 0.0);
            EXPECT_DOUBLE_EQ(path->path_confidence, confidence);
        }
    }
    return longest;
}

TEST(CategoryPaths, ShortestRoutesWithHopConfidences) {
    const auto corpus = testing::clustered(9, 12, 8, 0.9, 5);
    const auto built = build_layer(corpus.labels, corpus.embeddings, testing::quick_config());
    EXPECT_FALSE(built.layer.graph().bridges.empty());
    EXPECT_GE(check_all_paths(built.layer), 3u) << "some route should pass through another category";
    const auto self = built.layer.category_path("c4", "c4");
    EXPECT_EQ(std::tuple(self->steps.size(), self->total_distance, self->path_confidence), std::tuple(1u, 0.0, 1.0));
    EXPECT_FALSE(built.layer.category_path("c4", "nope").has_value());
    EXPECT_FALSE(built.layer.category_path("nope", "c4").has_value());
}

TEST(CategoryPaths, WithoutBridgesEveryHopCountsOneHundredth) {
    // Each category on its own pair of coordinates: no cosine across categories.
    std::vector<std::vector<double>> rows;
    std::vector<std::string> labels;
    for (std::size_t i = 0; i < 24; ++i) {
        const std::size_t c = i / 3;
        std::vector<double> row(16, 0.0);
        row[2 * c] = 1.0 + 0.1 * static_cast<double>(i % 3);
        row[2 * c + 1] = 0.5 + 0.2 * static_cast<double>(c + i % 3);
        rows.push_back(row);
        labels.push_back("k" + std::to_string(c));
    }
    const auto built = build_layer(labels, Corpus::from_rows(rows), testing::quick_config());
    EXPECT_TRUE(built.layer.graph().bridges.empty());
    EXPECT_GE(check_all_paths(built.layer), 3u);
    for (std::size_t a = 1; a < 8; ++a) {
        const auto path = built.layer.category_path("k0", "k" + std::to_string(a));
        EXPECT_DOUBLE_EQ(path->path_confidence, std::pow(0.01, static_cast<double>(path->steps.size() - 1)));
    }
}

TEST(CategoryPaths, HopConfidenceIsCappedAtOne) {
    // Two one-item categories pointing almost the same way: a strong bridge
    // between Voronoi neighbours whose point caps are wholly exclusive.
    const Corpus e = Corpus::from_rows({{1.0, 0.1, 0.0}, {1.0, 0.12, 0.01}, {0.0, 0.2, 1.0}});
    const auto built = build_layer({"a", "b", "c"}, e, testing::quick_config());
    ASSERT_TRUE(built.layer.spatial_quality().are_voronoi_neighbors(0, 1));
    const auto path = built.layer.category_path("a", "b");
    ASSERT_EQ(path->steps.size(), 2u);
    EXPECT_GT(path->steps[0].bridges_to_next.at(0).bridge_strength * 1.2, 1.0);
    EXPECT_EQ(path->path_confidence, 1.0);
}

TEST(CategoryNeighbors, FollowTheAdjacencyOrder) {
    const auto corpus = testing::clustered(5, 6, 6, 0.5, 9);
    const auto built = build_layer(corpus.labels, corpus.embeddings, testing::quick_config());
    EXPECT_TRUE(built.layer.category_neighbors("c2", 0).empty());
    EXPECT_TRUE(built.layer.category_neighbors("c9", 3).empty());
    const auto two = built.layer.category_neighbors("c2", 2);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(&two[1].get(), &built.layer.summaries()[built.layer.graph().adjacency[2][1].target]);
    EXPECT_EQ(built.layer.category_neighbors("c2", std::numeric_limits<std::size_t>::max()).size(), 4u);
}

TEST(DrillDown, MeasuresOnTheInnerSphereWhenThereIsOne) {
    const auto corpus = testing::clustered(3, 25, 8, 0.7, 13);
    const std::vector<double> query{0.3, -0.2, 0.9, 0.1, 0.0, 0.4, -0.5, 0.2};
    for (const bool inner : {true, false}) {
        PipelineConfig config = testing::quick_config();
        config.inner_sphere = {inner ? 5u : 1000u, -1.0, 1000, 0.0};
        const auto built = build_layer(corpus.labels, corpus.embeddings, config);
        const auto& sphere = built.layer.inner_spheres()[1];
        ASSERT_EQ(sphere.has_value(), inner);
        const auto& members = built.layer.summaries()[1].members;
        const core::SphericalPoint q = inner ? std::get<PcaProjection>(sphere->projection).project(query)
                                             : built.projection.project(query);
        std::vector<DrillDownResult> expected;
        for (std::size_t j = 0; j < members.size(); ++j) {
            const core::SphericalPoint at = inner ? sphere->projected[j] : built.positions[members[j]];
            expected.push_back({members[j], core::angular_distance(q, at), inner});
        }
        std::ranges::stable_sort(expected, [](auto& a, auto& b) { return a.distance < b.distance; });

        const auto hits = built.layer.drill_down_with_projection("c1", query, built.projection, 7);
        ASSERT_EQ(hits.size(), 7u);
        for (std::size_t k = 0; k < 7; ++k) {
            EXPECT_EQ(std::tuple(hits[k].item_index, hits[k].distance, hits[k].used_inner_sphere),
                      std::tuple(expected[k].item_index, expected[k].distance, inner));
        }
        EXPECT_TRUE(built.layer.drill_down_with_projection("c1", query, built.projection, 0).empty());
        EXPECT_EQ(built.layer.drill_down_with_projection("c1", query, built.projection, 100).size(), 25u);
        EXPECT_TRUE(built.layer.drill_down_with_projection("zz", query, built.projection, 5).empty());
    }
}

}  // namespace
}  // namespace vantorel::embed
