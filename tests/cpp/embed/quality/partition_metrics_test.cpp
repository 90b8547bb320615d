#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include <oneapi/tbb/global_control.h>

#include "core/conversions.hpp"
#include "core/distance.hpp"
#include "core/numeric.hpp"
#include "embed/quality/cluster_silhouette.hpp"
#include "embed/quality/graph_modularity.hpp"
#include "embed/quality/labelled_positions.hpp"
#include "embed/quality/quality_fixture.hpp"

namespace vantorel::embed {
namespace {

using core::SphericalPoint;
constexpr std::size_t kNone = kNoCategory;

// The silhouette written out directly: O(n²) over lists of lists.
double silhouette_oracle(const std::vector<SphericalPoint>& pos, const std::vector<std::size_t>& labels,
                         std::size_t categories) {
    if (categories < 2 || pos.size() < 2) return 1.0;
    std::vector<std::vector<SphericalPoint>> groups(categories);
    std::size_t total = 0;
    for (std::size_t i = 0; i < pos.size(); ++i) {
        if (labels[i] != kNone) groups[labels[i]].push_back(pos[i]), ++total;
    }
    if (total < 2) return 1.0;
    double sum = 0.0;
    std::size_t count = 0;
    for (std::size_t g = 0; g < categories; ++g) {
        const auto& own = groups[g];
        if (own.size() < 2) continue;
        for (std::size_t p = 0; p < own.size(); ++p) {
            double a = 0.0;
            for (std::size_t q = 0; q < own.size(); ++q) {
                if (q != p) a += core::angular_distance(own[p], own[q]);
            }
            a /= static_cast<double>(own.size() - 1);
            double b = std::numeric_limits<double>::infinity();
            for (std::size_t h = 0; h < categories; ++h) {
                if (h == g || groups[h].empty()) continue;
                double d = 0.0;
                for (const SphericalPoint& q : groups[h]) d += core::angular_distance(own[p], q);
                const double mean = d / static_cast<double>(groups[h].size());
                if (!std::isnan(mean)) b = std::min(b, mean);
            }
            if (std::isinf(b)) continue;
            sum += (b - a) / std::max(std::fmax(a, b), core::kEps);
            ++count;
        }
    }
    return count == 0 ? 1.0 : core::clamp_unit((sum / static_cast<double>(count) + 1.0) * 0.5);
}

// Newman's Q = (1/2m) Σ_ij [A_ij − k_i k_j / 2m] δ(c_i, c_j) on the k-nearest
// edge set, each point's neighbours found by a full stable sort.
double modularity_oracle(const std::vector<SphericalPoint>& pos, const std::vector<std::size_t>& labels,
                         std::size_t categories, std::size_t k) {
    const std::size_t n = pos.size();
    if (categories < 2 || n < 2) return 1.0;
    const std::size_t keff = std::max<std::size_t>(1, std::min(k, n - 1));
    std::set<std::pair<std::size_t, std::size_t>> edges;
    for (std::size_t i = 0; i < n; ++i) {
        std::vector<std::pair<double, std::size_t>> others;
        for (std::size_t j = 0; j < n; ++j) {
            if (j != i) others.emplace_back(core::angular_distance(pos[i], pos[j]), j);
        }
        std::stable_sort(others.begin(), others.end(),
                         [](const auto& x, const auto& y) { return core::total_order_less(x.first, y.first); });
        for (std::size_t r = 0; r < keff; ++r) {
            edges.emplace(std::min(i, others[r].second), std::max(i, others[r].second));
        }
    }
    std::vector<std::vector<double>> a(n, std::vector<double>(n, 0.0));
    std::vector<double> degree(n, 0.0);
    for (const auto& [i, j] : edges) {
        a[i][j] = a[j][i] = 1.0;
        degree[i] += 1.0;
        degree[j] += 1.0;
    }
    const double two_m = 2.0 * static_cast<double>(edges.size());
    double q = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            if (labels[i] != kNone && labels[i] == labels[j]) q += a[i][j] - degree[i] * degree[j] / two_m;
        }
    }
    return core::clamp_unit(q / two_m);
}

struct Labelled {
    std::vector<SphericalPoint> positions;
    std::vector<std::size_t> labels;
};

// Noisy clusters at random radii, some labels swapped or missing, a
// singleton category and repeated positions (equal distances).
Labelled noisy_clusters(std::size_t categories, std::size_t n, std::uint64_t seed) {
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto uniform = [&] { return unit(gen); };
    std::vector<core::CartesianPoint> centres;
    for (std::size_t c = 0; c < categories; ++c) {
        centres.push_back(core::spherical_to_cartesian({1.0, uniform() * core::kTwoPi, uniform() * core::kPi}));
    }
    Labelled out;
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t c = i % (categories - 1);
        if (i % 7 == 3) {
            out.positions.push_back(out.positions[i / 2]);
        } else {
            const core::CartesianPoint& m = centres[c];
            const double x = m.x + 0.5 * (uniform() - 0.5);
            const double y = m.y + 0.5 * (uniform() - 0.5);
            const double z = m.z + 0.5 * (uniform() - 0.5);
            out.positions.push_back(core::cartesian_to_spherical(x, y, z));
            out.positions.back().r = 0.5 + uniform();
        }
        if (i % 11 == 5) c = (c + 1) % (categories - 1);
        if (i % 13 == 8) c = kNone;
        out.labels.push_back(c);
    }
    out.labels[n / 3] = categories - 1;
    return out;
}

TEST(ClusterSilhouette, MatchesTheDirectFormulaToTheBit) {
    for (const std::size_t categories : {2u, 5u, 12u}) {
        const Labelled l = noisy_clusters(categories, 150, categories);
        EXPECT_EQ(cluster_silhouette(l.positions, l.labels, categories),
                  silhouette_oracle(l.positions, l.labels, categories))
            << categories;
    }
    // The score's last step (+1) hides a sum's last bits; the sums themselves
    // show whether the pair sweep adds each one's terms in row order.
    const Labelled many = noisy_clusters(5, 700, 12);
    EXPECT_EQ(detail::group_angle_sums(many.positions, many.labels, 5, true),
              detail::group_angle_sums(many.positions, many.labels, 5, false));
    // So many categories that each point scans its own row instead of the pair sweep.
    const Labelled wide = noisy_clusters(6, 2000, 8);
    EXPECT_EQ(cluster_silhouette(wide.positions, wide.labels, 4500),
              silhouette_oracle(wide.positions, wide.labels, 4500));

    const std::vector<SphericalPoint> far{{1, 0.1, 0.5}, {1, 0.12, 0.5}, {1, 3.2, 2.6}, {1, 3.22, 2.6}};
    EXPECT_GT(cluster_silhouette(far, std::vector<std::size_t>{0, 0, 1, 1}, 2), 0.99);
    // Nobody is scored: one point per category, or a single group holding positions.
    EXPECT_EQ(cluster_silhouette(far, std::vector<std::size_t>{0, 1, 2, 3}, 4), 1.0);
    EXPECT_EQ(cluster_silhouette(far, std::vector<std::size_t>{0, 0, 0, kNone}, 2), 1.0);
    EXPECT_EQ(cluster_silhouette(far, std::vector<std::size_t>{0, kNone, kNone, kNone}, 2), 1.0);
    EXPECT_EQ(cluster_silhouette(far, std::vector<std::size_t>{0, 0, 1, 1}, 1), 1.0);
}

TEST(GraphModularity, WorkedExampleAndNewmansQ) {
    const std::vector<SphericalPoint> four{{1, 0.1, 0.5}, {1, 0.12, 0.5}, {1, 3.2, 2.6}, {1, 3.22, 2.6}};
    const std::vector<std::size_t> pairs{0, 0, 1, 1};
    EXPECT_EQ(graph_modularity(four, pairs, 2, 1), 0.5);
    EXPECT_EQ(graph_modularity(four, pairs, 2, 0), 0.5);
    EXPECT_EQ(graph_modularity(four, pairs, 1, 1), 1.0);

    // Angles of 1e-8 are below what the dot product resolves: no shortcut may decide them.
    Labelled tight = noisy_clusters(4, 60, 3);
    for (SphericalPoint& p : tight.positions) {
        p.theta = 3.0 + (p.theta - 3.0) * 1e-8;
        p.phi = 1.0 + (p.phi - 1.0) * 1e-8;
    }
    EXPECT_GT(graph_modularity(tight.positions, tight.labels, 4, 3), 0.1);
    for (const std::size_t k : {1u, 3u, 20u}) {
        EXPECT_NEAR(graph_modularity(tight.positions, tight.labels, 4, k),
                    modularity_oracle(tight.positions, tight.labels, 4, k), 1e-12)
            << k;
    }
    for (const std::size_t categories : {3u, 6u, 12u}) {
        const Labelled l = noisy_clusters(categories, 90, 40 + categories);
        for (const std::size_t k : {0u, 1u, 4u, 15u, 89u, 500u}) {
            EXPECT_NEAR(graph_modularity(l.positions, l.labels, categories, k),
                        modularity_oracle(l.positions, l.labels, categories, k), 1e-12)
                << categories << " " << k;
        }
    }
}

TEST(PartitionMetrics, ReadThePipelinesExportedPoints) {
    const VantorelPipeline p = testing::clustered_pipeline(6, 10, 21);
    const LabelledPositions l = labelled_positions(p);
    ASSERT_EQ(l.categories, 6u);
    ASSERT_EQ(l.positions.size(), 60u);
    const auto exported = p.exported_points();
    for (std::size_t i = 0; i < 60; ++i) {
        EXPECT_EQ(l.labels[i], p.category_layer().index_of(exported[i].category).value());
        EXPECT_EQ(l.positions[i].theta, exported[i].theta);
    }
    EXPECT_EQ(ClusterSilhouette().score(p), silhouette_oracle(l.positions, l.labels, 6));
    EXPECT_NEAR(GraphModularity(5).score(p), modularity_oracle(l.positions, l.labels, 6, 5), 1e-12);
}

TEST(PartitionMetrics, SameScoresOnOneAndEightThreads) {
    const Labelled l = noisy_clusters(9, 700, 77);
    const auto scores = [&l](std::size_t threads) {
        tbb::global_control limit(tbb::global_control::max_allowed_parallelism, threads);
        return std::tuple{cluster_silhouette(l.positions, l.labels, 9), graph_modularity(l.positions, l.labels, 9, 15),
                          detail::group_angle_sums(l.positions, l.labels, 9, true)};
    };
    EXPECT_EQ(scores(1), scores(8));
}

}  // namespace
}  // namespace vantorel::embed
