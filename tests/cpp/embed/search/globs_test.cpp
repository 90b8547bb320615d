#include <gtest/gtest.h>

#include <oneapi/tbb/global_control.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "core/invariant.hpp"
#include "core/numeric.hpp"
#include "embed/search/globs.hpp"

namespace vantorel::embed {
namespace {

using Point = core::CartesianPoint;

constexpr std::size_t kHuge = std::numeric_limits<std::size_t>::max();

// The angle as defined: acos of p·q / (|p|·|q|), 0 for vanishing lengths.
double angle(const Point& p, const Point& q) {
    const double np = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
    const double nq = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z);
    if (np * nq < core::kEps) return 0.0;
    return std::acos(std::clamp((p.x * q.x + p.y * q.y + p.z * q.z) / (np * nq), -1.0, 1.0));
}

// Mean silhouette straight from its definition.
double oracle_silhouette(const std::vector<Point>& points, const std::vector<std::size_t>& assignment, std::size_t k) {
    const std::size_t n = points.size();
    double total = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        std::vector<double> sum(k, 0.0);
        std::vector<double> count(k, 0.0);
        for (std::size_t j = 0; j < n; ++j) {
            if (j == i) continue;
            sum[assignment[j]] += angle(points[i], points[j]);
            count[assignment[j]] += 1.0;
        }
        const std::size_t own = assignment[i];
        const double a = count[own] > 0 ? sum[own] / count[own] : 0.0;
        std::optional<double> b;
        for (std::size_t c = 0; c < k; ++c) {
            if (c != own && count[c] > 0) b = std::min(b.value_or(INFINITY), sum[c] / count[c]);
        }
        const double bb = b.value_or(0.0);
        const double m = std::max(a, bb);
        total += m > 0 ? (bb - a) / m : 0.0;
    }
    return total / static_cast<double>(n);
}

std::vector<Point> random_points(std::size_t n, unsigned seed) {
    std::mt19937_64 gen(seed);
    std::normal_distribution<double> normal;
    std::vector<Point> out;
    for (std::size_t i = 0; i < n; ++i) out.push_back({normal(gen), normal(gen), normal(gen)});
    return out;
}

// Tight groups around the given directions, one after the other.
std::vector<Point> grouped_points(const std::vector<Point>& centres, std::size_t per_group, unsigned seed) {
    std::mt19937_64 gen(seed);
    std::normal_distribution<double> jitter(0.0, 0.03);
    std::vector<Point> out;
    for (const Point& c : centres) {
        for (std::size_t i = 0; i < per_group; ++i) out.push_back({c.x + jitter(gen), c.y + jitter(gen), c.z + jitter(gen)});
    }
    return out;
}

std::vector<std::string> ids_for(std::size_t n) {
    std::vector<std::string> ids;
    for (std::size_t i = 0; i < n; ++i) ids.push_back("p" + std::to_string(i));
    return ids;
}

TEST(KMeans, ScoreIsTheSilhouetteOfItsAssignment) {
    for (const std::size_t k : {2u, 3u, 5u}) {
        const auto points = random_points(70, static_cast<unsigned>(k));
        const KMeansResult result = kmeans_3d(points, k);
        ASSERT_EQ(result.assignment.size(), points.size());
        EXPECT_NEAR(result.score, oracle_silhouette(points, result.assignment, k), 1e-12) << k;
    }
    // Seeds at ⌊i·7/3⌋ = 0, 2, 4; point 4 lies alone and scores 1.
    const std::vector<Point> with_singleton = {{1, 0, 0}, {1, 0.1, 0}, {0, 1, 0}, {0.1, 1, 0}, {0, 0, -1},
                                                {1, 0, 0.1}, {0, 1, 0.1}};
    const KMeansResult lone = kmeans_3d(with_singleton, 3);
    EXPECT_EQ(lone.assignment, (std::vector<std::size_t>{0, 0, 1, 1, 2, 0, 1}));
    EXPECT_NEAR(lone.score, oracle_silhouette(with_singleton, lone.assignment, 3), 1e-12);
    EXPECT_EQ(kmeans_3d(with_singleton, 1).score, 0.0);
}

TEST(KMeans, ResultsDoNotDependOnTheThreadCount) {
    const auto points = random_points(1500, 4);
    const KMeansResult parallel = kmeans_3d(points, 6);
    const tbb::global_control one(tbb::global_control::max_allowed_parallelism, 1);
    const KMeansResult serial = kmeans_3d(points, 6);
    EXPECT_EQ(parallel.assignment, serial.assignment);
    EXPECT_EQ(parallel.score, serial.score);
}

// At convergence every point sits with the centroid nearest to it.
TEST(KMeans, ConvergedAssignmentIsNearestToItsOwnCentroids) {
    const auto points = random_points(90, 21);
    const std::size_t k = 4;
    const auto assignment = kmeans_3d(points, k).assignment;
    std::vector<Point> centroids(k, Point{0, 0, 0});
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double n = std::hypot(points[i].x, points[i].y, points[i].z);
        Point& sum = centroids[assignment[i]];
        sum.x += points[i].x / n;
        sum.y += points[i].y / n;
        sum.z += points[i].z / n;
    }
    for (std::size_t i = 0; i < points.size(); ++i) {
        for (std::size_t c = 0; c < k; ++c) {
            EXPECT_LE(angle(points[i], centroids[assignment[i]]), angle(points[i], centroids[c]) + 1e-12);
        }
    }
}

TEST(KMeans, DegenerateInputs) {
    // Identical points share every angle: one cluster, a second one empty.
    const std::vector<Point> same = {{0.3, 0.1, 2}, {0.3, 0.1, 2}, {0.3, 0.1, 2}, {0.3, 0.1, 2}};
    const KMeansResult twins = kmeans_3d(same, 2);
    EXPECT_EQ(twins.assignment, (std::vector<std::size_t>(4, 0)));
    EXPECT_EQ(twins.score, 0.0);

    // Cluster 0 empties out into members that cancel; it keeps its centroid
    // instead of turning into a zero vector at angle 0 from everything.
    const std::vector<Point> cancelling = {{0, 0, -1}, {0, 1, 1}, {0, -1, 0}, {1, 0, 0},
                                            {0, 0, -1}, {-1, 0, 0}, {0, 0, 1}};
    EXPECT_EQ(kmeans_3d(cancelling, 3).assignment, (std::vector<std::size_t>{2, 1, 1, 0, 2, 0, 1}));

    EXPECT_THROW((void)kmeans_3d(same, 0), core::InvariantViolation);
    EXPECT_THROW((void)kmeans_3d(same, 5), core::InvariantViolation);
}

// Point 3 lies at exactly the same angle from both seeds (points 0 and 2), so
// it stays with the lower one; unit copies of the points round that tie apart.
TEST(KMeans, EqualAnglesGoToTheLowerCentroid) {
    const std::vector<Point> points = {{3, 2, -1}, {3, 1, 1}, {3, -1, -2}, {0, -1, 3}, {1, 2, 1}};
    EXPECT_EQ(kmeans_3d(points, 2).assignment, (std::vector<std::size_t>{0, 0, 1, 0, 0}));
}

TEST(BuildGlobs, CentroidsRadiiAndGaps) {
    const std::vector<Point> points = {{1, 0, 0}, {0, 2, 0}, {0, 0, 3}, {-1, 0, 0}, {0.5, 0.5, 0}, {7, 7, 7}};
    const auto ids = ids_for(points.size());
    // Cluster 1 is empty, cluster 2 cancels, 9 lies beyond k and is left out.
    const std::vector<std::size_t> assignment = {2, 0, 3, 2, 0, 9};
    const auto globs = build_globs(points, ids, assignment, 4);
    ASSERT_EQ(globs.size(), 3u);

    EXPECT_EQ(globs[0].id, 0u);
    EXPECT_EQ(globs[0].member_ids, (std::vector<std::string>{"p1", "p4"}));
    const double c = 1.0 + std::sqrt(0.5);
    const double len = std::hypot(std::sqrt(0.5), c);
    EXPECT_NEAR(globs[0].centroid.x, std::sqrt(0.5) / len, 1e-15);
    EXPECT_NEAR(globs[0].centroid.y, c / len, 1e-15);
    EXPECT_NEAR(globs[0].radius, angle(points[1], globs[0].centroid), 1e-15);
    EXPECT_NEAR(globs[0].radius, core::kPi / 8, 1e-15);

    EXPECT_EQ(globs[1].id, 2u);
    EXPECT_EQ(globs[1].member_ids, (std::vector<std::string>{"p0", "p3"}));
    EXPECT_EQ(globs[1].centroid, (Point{0, 0, 0}));
    EXPECT_EQ(globs[1].radius, 0.0);

    EXPECT_EQ(globs[2].id, 3u);
    EXPECT_EQ(globs[2].centroid, (Point{0, 0, 1}));
    EXPECT_EQ(globs[2].radius, 0.0);
}

TEST(DetectGlobs, GivenKIsClampedAndNeedsMaxKOfTwo) {
    const std::vector<Point> three = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    const auto ids = ids_for(3);
    const auto five = GlobResult::detect(three, ids, 5, 10);
    ASSERT_TRUE(five.has_value());
    EXPECT_EQ(five->globs.size(), 3u);  // k' = 3: each point its own glob

    const auto one = GlobResult::detect(three, ids, 1, 10);
    ASSERT_TRUE(one.has_value());
    ASSERT_EQ(one->globs.size(), 2u);  // k' = 2, seeds p0 and p1; p2 ties and goes to the first
    EXPECT_EQ(one->globs[0].member_ids, (std::vector<std::string>{"p0", "p2"}));

    const auto huge = GlobResult::detect(three, ids, kHuge, kHuge);
    ASSERT_TRUE(huge.has_value());
    EXPECT_EQ(huge->globs.size(), 3u);

    for (const std::size_t max_k : {0u, 1u}) {
        const auto refused = GlobResult::detect(three, ids, 2, max_k);
        ASSERT_FALSE(refused.has_value());
        EXPECT_EQ(refused.error().message(), "max_k must be >= 2 when k is given");
    }

    const auto all = GlobResult::detect(three, ids, std::nullopt, 1);
    ASSERT_TRUE(all.has_value());
    ASSERT_EQ(all->globs.size(), 1u);
    EXPECT_EQ(all->globs[0].id, 0u);
    EXPECT_EQ(all->globs[0].member_ids, ids);

    EXPECT_THROW((void)GlobResult::detect(std::vector<Point>{{1, 0, 0}}, ids_for(1), std::nullopt, 10),
                 core::InvariantViolation);
    EXPECT_THROW((void)GlobResult::detect(three, ids_for(2), std::nullopt, 10), core::InvariantViolation);
}

// Lengths whose squares overflow keep their directions: points scaled by
// 1e198 or 1e300 cluster as the unscaled ones do.
TEST(DetectGlobs, HugeLengthsKeepTheirDirections) {
    const auto points = grouped_points({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, 5, 8);
    const auto ids = ids_for(points.size());
    std::vector<Point> scaled = points;
    for (std::size_t i = 0; i < scaled.size(); ++i) {
        const double factor = i % 3 == 0 ? 1.0 : (i % 3 == 1 ? 1e198 : 1e300);
        scaled[i] = {scaled[i].x * factor, scaled[i].y * factor, scaled[i].z * factor};
    }
    const auto plain = GlobResult::detect(points, ids, std::nullopt, 5);
    const auto big = GlobResult::detect(scaled, ids, std::nullopt, 5);
    ASSERT_TRUE(plain.has_value() && big.has_value());
    ASSERT_EQ(big->globs.size(), 3u);
    ASSERT_EQ(big->globs.size(), plain->globs.size());
    for (std::size_t g = 0; g < plain->globs.size(); ++g) {
        EXPECT_EQ(big->globs[g].member_ids, plain->globs[g].member_ids);
        EXPECT_NEAR(big->globs[g].centroid.x, plain->globs[g].centroid.x, 1e-12);
        EXPECT_NEAR(big->globs[g].centroid.y, plain->globs[g].centroid.y, 1e-12);
        EXPECT_NEAR(big->globs[g].centroid.z, plain->globs[g].centroid.z, 1e-12);
        EXPECT_NEAR(big->globs[g].radius, plain->globs[g].radius, 1e-12);
    }
}

// Without k the first count with the best score wins; the scores computed
// together must be those of separate runs.
TEST(DetectGlobs, ChoosesTheFirstBestSilhouette) {
    const std::vector<Point> centres = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {-1, -1, -1}};
    for (const auto& [points, max_k] : std::vector<std::pair<std::vector<Point>, std::size_t>>{
             {grouped_points(centres, 6, 1), 7}, {random_points(40, 9), kHuge}}) {
        const auto ids = ids_for(points.size());
        const std::size_t kmax = std::min(points.size(), max_k);
        std::size_t best_k = 2;
        double best = -INFINITY;
        for (std::size_t k = 2; k <= kmax; ++k) {
            const double score = kmeans_3d(points, k).score;
            if (score > best) {
                best = score;
                best_k = k;
            }
        }
        const auto detected = GlobResult::detect(points, ids, std::nullopt, max_k);
        ASSERT_TRUE(detected.has_value());
        const auto expected = build_globs(points, ids, kmeans_3d(points, best_k).assignment, best_k);
        ASSERT_EQ(detected->globs.size(), expected.size());
        for (std::size_t g = 0; g < expected.size(); ++g) {
            EXPECT_EQ(detected->globs[g].id, expected[g].id);
            EXPECT_EQ(detected->globs[g].member_ids, expected[g].member_ids);
        }
        if (max_k == 7) {
            EXPECT_EQ(best_k, 4u);
        }
    }
}

}  // namespace
}  // namespace vantorel::embed
