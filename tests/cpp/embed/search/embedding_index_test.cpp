#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "embed/search/embedding_index.hpp"

namespace vantorel::embed {
namespace {

using Vec = std::array<double, 3>;

// Places a 3-D embedding along its own direction at the radius of its length,
// so that the test knows every position exactly.
struct DirectionProjection {
    [[nodiscard]] core::SphericalPoint project(std::span<const double> e) const {
        return place_on_sphere(magnitude(e), e[0], e[1], e[2]);
    }
    [[nodiscard]] ProjectedPoint project_rich(std::span<const double> e) const {
        return {project(e), 0.5, magnitude(e), 2.0};
    }
    [[nodiscard]] std::size_t dimension() const noexcept { return 3; }
};

using Index = EmbeddingIndex<DirectionProjection>;

Index engine_index() {
    EmbeddingIndexBuilder<DirectionProjection> builder{DirectionProjection{}, {}};
    builder.spatial.uniform_shells(10, 1.0);
    return std::move(builder).build();
}

std::string id_of(std::size_t i) { return "s-" + std::to_string(1000 + i); }

// Random directions with lengths spread over the shells.
std::vector<Vec> random_cloud(std::size_t n, unsigned seed) {
    std::mt19937_64 gen(seed);
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> length(0.02, 1.3);
    std::vector<Vec> out;
    for (std::size_t i = 0; i < n; ++i) {
        Vec v{normal(gen), normal(gen), normal(gen)};
        const double scale = length(gen) / std::hypot(v[0], v[1], v[2]);
        for (double& c : v) c *= scale;
        out.push_back(v);
    }
    return out;
}

Index index_of(const std::vector<Vec>& cloud) {
    Index index = engine_index();
    for (std::size_t i = 0; i < cloud.size(); ++i) index.insert(id_of(i), cloud[i]);
    return index;
}

double angle(const Vec& a, const Vec& b) {
    const Vec cross{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    return std::atan2(std::hypot(cross[0], cross[1], cross[2]), a[0] * b[0] + a[1] * b[1] + a[2] * b[2]);
}

// Input indexes in shell-walk order: shells of width 0.1 from radius 0, the
// last one open, insertion order within a shell.
std::vector<std::size_t> walk_of(const std::vector<Vec>& cloud) {
    const auto shell = [](const Vec& v) {
        const double r = std::hypot(v[0], v[1], v[2]);
        int s = 0;
        for (int i = 0; i <= 10; ++i) s += (i * 1.0) / 10 <= r ? 1 : 0;
        return s;
    };
    std::vector<std::size_t> walk(cloud.size());
    std::iota(walk.begin(), walk.end(), 0);
    std::stable_sort(walk.begin(), walk.end(), [&](auto a, auto b) { return shell(cloud[a]) < shell(cloud[b]); });
    return walk;
}

struct OracleEdge {
    std::size_t to;
    double weight;
};

// The k-nearest graph by brute force over walk positions: all items sorted by
// angle (ties by walk position), the k + 1 first, self and repeats skipped.
std::vector<std::vector<OracleEdge>> oracle_graph(const std::vector<Vec>& cloud, std::size_t k) {
    const auto walk = walk_of(cloud);
    const std::size_t n = walk.size();
    std::vector<std::vector<OracleEdge>> adj(n);
    std::set<std::pair<std::size_t, std::size_t>> seen;
    for (std::size_t i = 0; i < n; ++i) {
        std::vector<std::size_t> order(n);
        std::iota(order.begin(), order.end(), 0);
        const auto d = [&](std::size_t j) { return angle(cloud[walk[i]], cloud[walk[j]]); };
        std::stable_sort(order.begin(), order.end(), [&](auto a, auto b) { return d(a) < d(b); });
        order.resize(std::min(n, k == std::numeric_limits<std::size_t>::max() ? n : k + 1));
        for (const std::size_t j : order) {
            if (j == i || !seen.insert({std::min(i, j), std::max(i, j)}).second) continue;
            adj[i].push_back({j, d(j)});
            adj[j].push_back({i, d(j)});
        }
    }
    return adj;
}

struct OracleRoute {
    std::vector<std::size_t> positions;
    double total = std::numeric_limits<double>::infinity();
};

// Textbook O(n²) Dijkstra.
OracleRoute oracle_route(const std::vector<std::vector<OracleEdge>>& adj, std::size_t s, std::size_t t) {
    const std::size_t n = adj.size();
    std::vector<double> dist(n, std::numeric_limits<double>::infinity());
    std::vector<std::size_t> prev(n, n);
    std::vector<bool> done(n, false);
    dist[s] = 0.0;
    for (std::size_t round = 0; round < n; ++round) {
        std::size_t u = n;
        for (std::size_t v = 0; v < n; ++v) {
            if (!done[v] && std::isfinite(dist[v]) && (u == n || dist[v] < dist[u])) u = v;
        }
        if (u == n) break;
        done[u] = true;
        for (const auto& e : adj[u]) {
            if (dist[u] + e.weight < dist[e.to]) {
                dist[e.to] = dist[u] + e.weight;
                prev[e.to] = u;
            }
        }
    }
    OracleRoute route;
    if (!std::isfinite(dist[t])) return route;
    route.total = dist[t];
    for (std::size_t u = t; u != n; u = prev[u]) route.positions.insert(route.positions.begin(), u);
    return route;
}

void expect_graph(const Adjacency& graph, const std::vector<std::vector<OracleEdge>>& oracle) {
    ASSERT_EQ(graph.size(), oracle.size());
    for (std::size_t i = 0; i < oracle.size(); ++i) {
        const auto row = graph.neighbours(i);
        ASSERT_EQ(row.size(), oracle[i].size()) << "row " << i;
        for (std::size_t e = 0; e < row.size(); ++e) {
            EXPECT_EQ(row[e].to, oracle[i][e].to) << "row " << i;
            EXPECT_NEAR(row[e].weight, oracle[i][e].weight, 1e-12);
        }
    }
}

void expect_consistent_steps(const ConceptPath& path) {
    ASSERT_FALSE(path.steps.empty());
    EXPECT_EQ(path.steps.front().cumulative_distance, 0.0);
    EXPECT_EQ(path.steps.front().hop_distance, 0.0);
    for (std::size_t s = 1; s < path.steps.size(); ++s) {
        EXPECT_DOUBLE_EQ(path.steps[s].cumulative_distance,
                         path.steps[s - 1].cumulative_distance + path.steps[s].hop_distance);
    }
    for (const auto& step : path.steps) EXPECT_FALSE(step.bridge_strength.has_value());
    EXPECT_EQ(path.total_distance, path.steps.back().cumulative_distance);
}

TEST(EmbeddingIndex, SearchSimilarMatchesBruteForceInShellOrder) {
    auto cloud = random_cloud(300, 7);
    const Vec query{0.4, -0.2, 0.9};
    cloud.push_back({0.8, -0.4, 1.8});  // the query's own direction, further out
    const Index index = index_of(cloud);
    const auto walk = walk_of(cloud);

    for (const double min_cos : {-1.0, -0.3, 0.2, 0.7, 0.95}) {
        const double max_angle = std::acos(min_cos);
        std::vector<std::string> expected;
        for (const std::size_t i : walk) {
            const double a = angle(query, cloud[i]);
            ASSERT_GT(std::fabs(a - max_angle), 1e-9) << "item on the boundary";
            if (a <= max_angle) expected.push_back(id_of(i));
        }
        const auto result = index.search_similar(query, min_cos);
        std::vector<std::string> got;
        for (const auto& item : result.items) got.push_back(item.id);
        EXPECT_EQ(got, expected) << min_cos;
        EXPECT_EQ(result.total_scanned, cloud.size());
    }

    // Above 1 behaves as 1: only the query's own direction; NaN keeps nothing.
    for (const double min_cos : {1.0, 1.5}) {
        const auto exact = index.search_similar(query, min_cos);
        ASSERT_EQ(exact.items.size(), 1u);
        EXPECT_EQ(exact.items[0].id, id_of(300));
    }
    EXPECT_TRUE(index.search_similar(query, std::numeric_limits<double>::quiet_NaN()).items.empty());
    EXPECT_EQ(index.search_similar(query, -7.0).items.size(), cloud.size());
}

// Whole-scan indexes (up to 500 ids) and sector-gathering ones (above).
TEST(EmbeddingIndex, ConceptPathsMatchAnIndependentDijkstra) {
    for (const auto& [n, ks] : std::vector<std::pair<std::size_t, std::vector<std::size_t>>>{
             {120, {1, 3, 5}}, {650, {3}}}) {
        const auto cloud = random_cloud(n, static_cast<unsigned>(n));
        const Index index = index_of(cloud);
        const auto walk = walk_of(cloud);
        for (const std::size_t k : ks) {
            const auto oracle = oracle_graph(cloud, k);
            int found = 0;
            for (const auto& [s, t] : std::vector<std::pair<std::size_t, std::size_t>>{
                     {0, n - 1}, {5, 17}, {n / 2, 3}, {n - 2, n / 3}}) {
                const auto path = index.concept_path(id_of(walk[s]), id_of(walk[t]), k);
                const OracleRoute expected = oracle_route(oracle, s, t);
                ASSERT_EQ(path.has_value(), std::isfinite(expected.total)) << n << " " << k << " " << s << "->" << t;
                if (!path) continue;
                ++found;
                expect_consistent_steps(*path);
                EXPECT_NEAR(path->total_distance, expected.total, 1e-12);
                std::vector<std::string> ids;
                for (const std::size_t p : expected.positions) ids.push_back(id_of(walk[p]));
                std::vector<std::string> got;
                for (const auto& step : path->steps) got.push_back(step.id);
                EXPECT_EQ(got, ids);
            }
            if (k >= 3) {
                EXPECT_GT(found, 0);
            }
            const auto graph = index.cached_graph();
            ASSERT_NE(graph, nullptr);
            expect_graph(*graph, oracle);
        }
    }
}

TEST(EmbeddingIndex, ConceptPathEdgeCases) {
    Index index = engine_index();
    index.insert("only", Vec{0.0, 0.3, 0.4});
    ASSERT_NE(index.get("only"), nullptr);
    EXPECT_EQ(index.get("only")->norm, 0.5);
    EXPECT_EQ(index.get("nowhere"), nullptr);
    EXPECT_FALSE(index.concept_path("only", "only", 3).has_value());  // fewer than 2 items

    // Two tight groups a quarter turn apart: with k = 1 they never meet.
    for (std::size_t i = 0; i < 4; ++i) {
        const double t = 0.01 * static_cast<double>(i);
        index.insert("east-" + std::to_string(i), Vec{1.0, t, 0.0});
        index.insert("north-" + std::to_string(i), Vec{0.0, t, 1.0});
    }
    const auto self = index.concept_path("east-1", "east-1", 2);
    ASSERT_TRUE(self.has_value());
    ASSERT_EQ(self->steps.size(), 1u);
    EXPECT_EQ(self->steps[0].id, "east-1");
    EXPECT_EQ(self->total_distance, 0.0);
    expect_consistent_steps(*self);

    EXPECT_FALSE(index.concept_path("east-0", "nowhere", 2).has_value());
    EXPECT_FALSE(index.concept_path("nowhere", "east-0", 2).has_value());
    EXPECT_FALSE(index.concept_path("east-0", "north-3", 1).has_value());
    const auto joined = index.concept_path("east-0", "north-3", 8);
    ASSERT_TRUE(joined.has_value());
    expect_consistent_steps(*joined);
    EXPECT_GE(joined->total_distance, core::kPi / 2 - 0.05);
}

TEST(EmbeddingIndex, GraphCacheIsReusedPerNeighbourCountAndDroppedOnInsert) {
    Index index = index_of(random_cloud(60, 3));
    EXPECT_EQ(index.cached_graph(), nullptr);
    ASSERT_TRUE(index.concept_path(id_of(0), id_of(1), 5).has_value());
    const auto first = index.cached_graph();
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(index.concept_path(id_of(2), id_of(3), 5).has_value());
    EXPECT_EQ(index.cached_graph(), first);

    ASSERT_TRUE(index.concept_path(id_of(0), id_of(1), 6).has_value());
    const auto second = index.cached_graph();
    EXPECT_NE(second, first);
    EXPECT_EQ(first->size(), 60u);  // a replaced graph stays valid for its holders

    const Index copy = index;
    EXPECT_EQ(copy.cached_graph(), second);

    index.insert("late", Vec{0.1, 0.2, 0.3});
    EXPECT_EQ(index.cached_graph(), nullptr);
    ASSERT_TRUE(index.concept_path("late", id_of(1), 6).has_value());
    EXPECT_EQ(index.cached_graph()->size(), 61u);
    EXPECT_EQ(copy.cached_graph(), second);
}

// k = 2^64 − 1 means "every item": the complete graph, as with k = n − 1.
TEST(EmbeddingIndex, HugeNeighbourCountSaturates) {
    const auto cloud = random_cloud(40, 11);
    const Index index = index_of(cloud);
    const std::size_t huge = std::numeric_limits<std::size_t>::max();
    const auto path = index.concept_path(id_of(3), id_of(30), huge);
    ASSERT_TRUE(path.has_value());
    const auto complete = index.cached_graph();
    expect_graph(*complete, oracle_graph(cloud, huge));
    for (std::size_t i = 0; i < complete->size(); ++i) EXPECT_EQ(complete->neighbours(i).size(), 39u);

    const auto bounded = index.concept_path(id_of(3), id_of(30), 39);
    ASSERT_TRUE(bounded.has_value());
    EXPECT_NE(index.cached_graph(), complete);
    expect_graph(*index.cached_graph(), oracle_graph(cloud, huge));
    EXPECT_EQ(bounded->total_distance, path->total_distance);
}

TEST(EmbeddingIndex, ConcurrentPathSearchesAgreeWithSequentialOnes) {
    const Index index = index_of(random_cloud(200, 5));
    std::vector<std::optional<ConceptPath>> expected;
    for (std::size_t q = 0; q < 16; ++q) expected.push_back(index.concept_path(id_of(q), id_of(199 - q), 3 + q % 3));

    std::vector<std::vector<double>> got(4);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (std::size_t q = 0; q < 16; ++q) {
                const auto path = index.concept_path(id_of(q), id_of(199 - q), 3 + q % 3);
                got[t].push_back(path ? path->total_distance : -1.0);
            }
        });
    }
    for (auto& th : threads) th.join();
    for (const auto& run : got) {
        for (std::size_t q = 0; q < run.size(); ++q) EXPECT_EQ(run[q], expected[q] ? expected[q]->total_distance : -1.0);
    }
}

}  // namespace
}  // namespace vantorel::embed
