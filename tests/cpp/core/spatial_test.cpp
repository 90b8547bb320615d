#include <gtest/gtest.h>

#include <oneapi/tbb/task_arena.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "stop_text.hpp"
#include "core/conversions.hpp"
#include "core/distance.hpp"
#include "core/invariant.hpp"
#include "core/numeric.hpp"
#include "core/spatial.hpp"
#include "core/sphere_sampler.hpp"

namespace vantorel::core::spatial {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

const SphericalPoint kNorth{1.0, 0.0, 0.0};
const SphericalPoint kSouth{1.0, 0.0, kPi};

using vantorel::testing::stop_text;

SphericalPoint direction(double x, double y, double z) { return cartesian_to_spherical(x, y, z); }

double cap_area(double h) { return kTwoPi * (1.0 - std::cos(h)); }

// Five standard deviations of a sampled share p out of n samples.
double binomial_tolerance(double p, double n) { return 5.0 * std::sqrt(p * (1.0 - p) / n); }

// Intersection of two caps by Gauss-Bonnet, independent of the L'Huilier lens;
// valid while the boundary circles cross.
double lens_by_gauss_bonnet(double d, double r1, double r2) {
    const double corner = std::acos((std::cos(d) - std::cos(r1) * std::cos(r2)) / (std::sin(r1) * std::sin(r2)));
    const double b1 = std::acos((std::cos(r2) - std::cos(d) * std::cos(r1)) / (std::sin(d) * std::sin(r1)));
    const double b2 = std::acos((std::cos(r1) - std::cos(d) * std::cos(r2)) / (std::sin(d) * std::sin(r2)));
    return 2.0 * (kPi - corner - b1 * std::cos(r1) - b2 * std::cos(r2));
}

// Values computed with exact integer arithmetic outside this code base.
TEST(SphereSampler, FirstDrawsArePinned) {
    SphereSampler s(0xFEEDFACE00000001ULL);
    EXPECT_EQ(s.next_uniform(), 0.42771481769159436);
    EXPECT_EQ(s.state(), 0x6d7eb7e243fd007cULL);
    EXPECT_EQ(s.next_uniform(), 0.26002515479922295);
    EXPECT_EQ(s.state(), 0x42910231864a1b1bULL);
    EXPECT_EQ(s.next_uniform(), 0.7917800392024219);
    EXPECT_EQ(s.state(), 0xcab218bf2097aa0eULL);

    SphereSampler v(0xdeadbeefcafe1337ULL);
    const CartesianPoint p = v.next_point();
    EXPECT_EQ(v.state(), 0x918af54cebaf1541ULL);
    EXPECT_NEAR(p.x, -0.9006528017580906, 1e-15);
    EXPECT_NEAR(p.y, -0.41236023083940004, 1e-15);
    EXPECT_EQ(p.z, 0.13705316744744778);

    EXPECT_EQ(SphereSampler::uniform_of(0), 0.0);
    EXPECT_LT(SphereSampler::uniform_of(~std::uint64_t{0}), 1.0);
}

TEST(SphereSampler, JumpAheadMatchesStepping) {
    for (const std::uint64_t steps : {0ULL, 1ULL, 2ULL, 3ULL, 7ULL, 64ULL, 1000ULL, 8193ULL}) {
        SphereSampler stepped(42);
        for (std::uint64_t k = 0; k < steps; ++k) stepped.next_uniform();
        SphereSampler jumped(42);
        jumped.discard(steps);
        EXPECT_EQ(jumped.state(), stepped.state()) << steps;
    }
    SphereSampler points(7);
    for (int k = 0; k < 5; ++k) points.next_point();
    SphereSampler skipped(7);
    skipped.discard_points(5);
    EXPECT_EQ(skipped.state(), points.state());
    // Full period: 2^64 − 1 steps and one more return to the start.
    SphereSampler full(0xabcdefULL);
    full.discard(~std::uint64_t{0});
    full.next_uniform();
    EXPECT_EQ(full.state(), 0xabcdefULL);
}

TEST(Lune, Sides) {
    const SphericalPoint a = direction(1, 0, 0);
    const SphericalPoint b = direction(0, 1, 0);
    EXPECT_EQ(lune_classify(a, b, direction(1, 1, 0)), kOnBisector);
    EXPECT_EQ(lune_classify(a, b, kNorth), kOnBisector);
    EXPECT_EQ(lune_classify(a, b, a), kNearerA);
    EXPECT_EQ(lune_classify(a, b, b), kNearerB);
    EXPECT_EQ(lune_classify(a, b, direction(1, 0.9, -0.3)), kNearerA);
    EXPECT_EQ(lune_classify(a, b, {1.0, kNan, 0.5}), kNearerB);
}

TEST(RegionCoherence, DensityAgainstUniform) {
    const std::vector<SphericalPoint> at_centre(10, kNorth);
    EXPECT_EQ(region_coherence(kNorth, at_centre, kPi / 2.0), 2.0000000000000004);
    EXPECT_EQ(region_coherence(kNorth, at_centre, 0.0), 0.0);
    EXPECT_EQ(region_coherence(kNorth, at_centre, 1e-9), 0.0);  // the cap's share rounds to zero
    EXPECT_EQ(region_coherence(kNorth, {}, 1.0), 0.0);
    EXPECT_EQ(region_coherence(kSouth, at_centre, 1.0), 0.0);

    // An even spread (Fibonacci lattice) is about as dense everywhere as uniform.
    std::vector<SphericalPoint> spread;
    const double n = 20000.0;
    for (double k = 0; k < n; ++k) {
        spread.push_back({1.0, std::fmod(k * 2.399963229728653, kTwoPi), std::acos(1.0 - (2.0 * k + 1.0) / n)});
    }
    EXPECT_NEAR(region_coherence(direction(0.3, -0.5, 0.2), spread, 1.0), 1.0, 0.01);
}

TEST(SphericalExcess, ClosedFormsAndGirard) {
    EXPECT_NEAR(spherical_excess(direction(1, 0, 0), direction(0, 1, 0), direction(0, 0, 1)), kPi / 2.0, 1e-14);
    EXPECT_NEAR(spherical_excess(direction(1, 0, 0), direction(0, 1, 0), direction(-1, 1, 0)), 0.0, 1e-7);
    EXPECT_EQ(spherical_excess(kNorth, kNorth, direction(1, 0, 0)), 0.0);

    // Girard: the excess is the angle sum minus π, angles from tangent vectors.
    const auto corner = [](const CartesianPoint& at, const CartesianPoint& p, const CartesianPoint& q) {
        const CartesianPoint tp{p.x - at.dot(p) * at.x, p.y - at.dot(p) * at.y, p.z - at.dot(p) * at.z};
        const CartesianPoint tq{q.x - at.dot(q) * at.x, q.y - at.dot(q) * at.y, q.z - at.dot(q) * at.z};
        return std::acos(tp.dot(tq) / (tp.magnitude() * tq.magnitude()));
    };
    SphereSampler s(99);
    for (int trial = 0; trial < 200; ++trial) {
        const CartesianPoint a = s.next_point();
        const CartesianPoint b = s.next_point();
        const CartesianPoint c = s.next_point();
        const double girard = corner(a, b, c) + corner(b, a, c) + corner(c, a, b) - kPi;
        EXPECT_NEAR(spherical_excess(cartesian_to_spherical(a), cartesian_to_spherical(b), cartesian_to_spherical(c)),
                    girard, 1e-9);
    }
}

TEST(CapIntersection, ClosedForms) {
    const SphericalPoint east = direction(1, 0, 0);
    EXPECT_DOUBLE_EQ(cap_intersection_area(east, east, 0.3, 0.5), cap_area(0.3));
    EXPECT_DOUBLE_EQ(cap_intersection_area(east, east, 0.5, 0.3), cap_area(0.3));
    EXPECT_EQ(cap_intersection_area(kNorth, {1.0, 0.0, 1.0}, 0.4, 0.4), 0.0);
    EXPECT_DOUBLE_EQ(cap_intersection_area(kNorth, {1.0, 2.0, 0.2}, 1.0, 0.3), cap_area(0.3));

    // Boundary circles crossing: the lens against Gauss-Bonnet.
    const std::array<std::array<double, 3>, 4> crossing{
        {{1.0, 0.7, 0.6}, {0.3, 1.4, 1.5}, {2.5, 2.0, 1.2}, {1.2, 2.4, 2.6}}};
    for (const auto& [d, r1, r2] : crossing) {
        const SphericalPoint other{1.0, 0.0, d};
        EXPECT_NEAR(cap_intersection_area(kNorth, other, r1, r2), lens_by_gauss_bonnet(d, r1, r2), 1e-10);
    }
}

// Complement of cap (c, r) is cap (−c, π − r): the two parts of cap 1 add up to its area.
TEST(CapIntersection, SplitsACapWithAComplement) {
    SphereSampler s(2024);
    int covering = 0;
    int crossing = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        const CartesianPoint c1 = s.next_point();
        const CartesianPoint c2 = s.next_point();
        const double r1 = s.next_uniform() * kPi;
        const double r2 = s.next_uniform() * kPi;
        const SphericalPoint p1 = cartesian_to_spherical(c1);
        const SphericalPoint p2 = cartesian_to_spherical(c2);
        const SphericalPoint anti2 = cartesian_to_spherical(-c2.x, -c2.y, -c2.z);
        const double d = angular_distance(p1, p2);
        covering += r1 + r2 + d >= kTwoPi ? 1 : 0;
        crossing += std::fabs(r1 - r2) < d && d < r1 + r2 && r1 + r2 + d < kTwoPi ? 1 : 0;

        const double inside = cap_intersection_area(p1, p2, r1, r2);
        const double outside = cap_intersection_area(p1, anti2, r1, kPi - r2);
        EXPECT_NEAR(inside + outside, cap_area(r1), 1e-9) << r1 << " " << r2 << " " << d;
        EXPECT_LE(inside, std::min(cap_area(r1), cap_area(r2)) + 1e-12);
        EXPECT_GE(inside, 0.0);
    }
    EXPECT_GT(covering, 1000);
    EXPECT_GT(crossing, 1000);

    // Antipodal centres with caps past the equator overlap in a band.
    EXPECT_NEAR(cap_intersection_area(kNorth, kSouth, 2.0, 2.0), 2.0 * cap_area(2.0) - kFourPi, 1e-12);
    EXPECT_NEAR(cap_intersection_area(kNorth, {1.0, 0.0, 1.0}, 2.8, 2.8), 2.0 * cap_area(2.8) - kFourPi, 1e-12);
}

TEST(PairwiseOverlaps, OrderContainmentAndTouching) {
    const SphericalPoint east = direction(1, 0, 0);
    const SphericalPoint tilted = direction(1, 1, 0.2);
    const double gap = angular_distance(east, tilted);
    const std::vector<SphericalPoint> centres{east, east, east, tilted, kSouth};
    const std::vector<double> radii{0.2, 0.2, gap / 2.0, gap / 2.0, 0.5};
    const std::vector<CapOverlap> overlaps = pairwise_overlaps(centres, radii);
    // (2, 3) touch; the south cap meets nothing; the equal areas keep pair order.
    ASSERT_EQ(overlaps.size(), 3U);
    for (std::size_t k = 0; k < 3; ++k) EXPECT_DOUBLE_EQ(overlaps[k].area, cap_area(0.2));
    EXPECT_EQ(std::tie(overlaps[0].i, overlaps[0].j), std::tuple(0U, 1U));
    EXPECT_EQ(std::tie(overlaps[1].i, overlaps[1].j), std::tuple(0U, 2U));
    EXPECT_EQ(std::tie(overlaps[2].i, overlaps[2].j), std::tuple(1U, 2U));

    const std::vector<double> wider{0.2, 0.3, gap / 2.0, gap / 2.0, 0.5};
    const std::vector<CapOverlap> sorted = pairwise_overlaps(centres, wider);
    ASSERT_EQ(sorted.size(), 3U);
    EXPECT_EQ(std::tie(sorted[0].i, sorted[0].j), std::tuple(1U, 2U));
    EXPECT_DOUBLE_EQ(sorted[0].area, cap_area(0.3));

    EXPECT_TRUE(pairwise_overlaps(std::vector{east}, std::vector{1.0}).empty());
    EXPECT_THROW(pairwise_overlaps(centres, std::vector{0.1}), InvariantViolation);
}

TEST(Coverage, ClosedFormsAndCounts) {
    const CoverageEstimate whole = estimate_coverage(std::vector{kNorth}, std::vector{kPi}, 5000);
    EXPECT_EQ(whole.coverage_fraction, 1.0);
    EXPECT_EQ(whole.covered_area, kFourPi);
    EXPECT_EQ(whole.overlap_area, 0.0);
    EXPECT_EQ(whole.void_samples, 0U);
    EXPECT_EQ(whole.total_samples, 5000U);

    const double n = 100000.0;
    const double h = 1.0;
    const CoverageEstimate one = estimate_coverage(std::vector{direction(1, 2, 3)}, std::vector{h}, 100000);
    const double share = (1.0 - std::cos(h)) / 2.0;
    EXPECT_NEAR(one.coverage_fraction, share, binomial_tolerance(share, n));

    const CoverageEstimate twice =
        estimate_coverage(std::vector{direction(1, 2, 3), direction(1, 2, 3)}, std::vector{h, h}, 100000);
    EXPECT_EQ(twice.overlap_area, one.covered_area);

    const CoverageEstimate none = estimate_coverage({}, {}, 1000);
    EXPECT_EQ(none.void_samples, 1000U);
    EXPECT_EQ(none.coverage_fraction, 0.0);
    const CoverageEstimate empty = estimate_coverage(std::vector{kNorth}, std::vector{1.0}, 0);
    EXPECT_TRUE(std::isnan(empty.coverage_fraction));
    EXPECT_EQ(empty.total_samples, 0U);
    EXPECT_THROW(estimate_coverage(std::vector{kNorth}, {}, 10), InvariantViolation);
}

TEST(Exclusivity, ClosedFormsAndLens) {
    const SphericalPoint a = direction(0, 0, 1);
    const SphericalPoint b{1.0, 0.0, 0.8};
    EXPECT_EQ(cap_exclusivity(0, std::vector{a}, std::vector{0.5}, 3000), 1.0);
    EXPECT_EQ(cap_exclusivity(1, std::vector{a, a}, std::vector{0.5, 0.5}, 3000), 0.0);
    EXPECT_EQ(cap_exclusivity(0, std::vector{a, a}, std::vector{1e-9, 0.5}, 3000), 1.0);

    const double r1 = 0.6;
    const double r2 = 0.5;
    const double lens = lens_by_gauss_bonnet(0.8, r1, r2);
    const double n = 200000.0;
    const double inside = n * cap_area(r1) / kFourPi;
    const double expected = 1.0 - lens / cap_area(r1);
    EXPECT_NEAR(cap_exclusivity(0, std::vector{a, b}, std::vector{r1, r2}, 200000), expected,
                binomial_tolerance(expected, inside));

    EXPECT_EQ(stop_text([&] { cap_exclusivity(2, std::vector{a, b}, std::vector{r1, r2}, 10); }),
              "assertion failed: cap_index < n");
    EXPECT_THROW(cap_exclusivity(0, std::vector{a, b}, std::vector{r1}, 10), InvariantViolation);
}

TEST(Voronoi, OctahedronAndSmallCases) {
    const std::vector<SphericalPoint> octahedron{direction(1, 0, 0), direction(-1, 0, 0), direction(0, 1, 0),
                                                 direction(0, -1, 0), direction(0, 0, 1), direction(0, 0, -1)};
    const std::vector<VoronoiCell> cells = spherical_voronoi(octahedron, 100000);
    ASSERT_EQ(cells.size(), 6U);
    for (std::size_t g = 0; g < 6; ++g) {
        EXPECT_EQ(cells[g].generator_index, g);
        EXPECT_NEAR(cells[g].area, kFourPi / 6.0, kFourPi * binomial_tolerance(1.0 / 6.0, 100000.0));
        std::vector<std::size_t> adjacent;
        for (std::size_t k = 0; k < 6; ++k) {
            if (k != g && k != (g ^ 1U)) adjacent.push_back(k);
        }
        EXPECT_EQ(cells[g].neighbors, adjacent) << g;
    }

    const std::vector<VoronoiCell> halves = spherical_voronoi(std::vector{kNorth, kSouth}, 50000);
    EXPECT_NEAR(halves[0].area, kTwoPi, kFourPi * binomial_tolerance(0.5, 50000.0));
    EXPECT_EQ(halves[0].neighbors, std::vector<std::size_t>{1});
    EXPECT_EQ(halves[1].neighbors, std::vector<std::size_t>{0});

    // Identical generators: ties go to the lower index.
    const std::vector<VoronoiCell> twins = spherical_voronoi(std::vector{kNorth, kNorth}, 1000);
    EXPECT_EQ(twins[0].area, kFourPi);
    EXPECT_EQ(twins[1].area, 0.0);
    EXPECT_EQ(twins[1].neighbors, std::vector<std::size_t>{0});

    EXPECT_TRUE(spherical_voronoi({}, 100).empty());
    const std::vector<VoronoiCell> single = spherical_voronoi(std::vector{kSouth}, 100);
    ASSERT_EQ(single.size(), 1U);
    EXPECT_EQ(single[0].area, kFourPi);
    EXPECT_TRUE(single[0].neighbors.empty());
    EXPECT_TRUE(std::isnan(spherical_voronoi(std::vector{kNorth, kSouth}, 0)[0].area));
}

// The blocks of a sampling run in parallel; the counts must be those of one
// sequential pass, whatever the number of threads.
TEST(Sampling, IndependentOfThreadsAndBlocks) {
    const std::size_t n = 3 * 4096 + 17;
    const CartesianPoint axis = unit_vector(direction(1, -1, 0.5));
    const double cos_h = std::cos(1.2);
    SphereSampler sequential(0x123456789abcdef0ULL);
    std::size_t covered = 0;
    for (std::size_t k = 0; k < n; ++k) covered += axis.dot(sequential.next_point()) >= cos_h ? 1 : 0;
    const CoverageEstimate estimate = estimate_coverage(std::vector{direction(1, -1, 0.5)}, std::vector{1.2}, n);
    EXPECT_EQ(estimate.void_samples, n - covered);

    std::vector<SphericalPoint> centres;
    std::vector<double> radii;
    SphereSampler s(5);
    for (int k = 0; k < 12; ++k) {
        centres.push_back(cartesian_to_spherical(s.next_point()));
        radii.push_back(0.3 + 0.05 * k);
    }
    const auto run = [&] {
        std::vector<double> figures;
        for (const VoronoiCell& cell : spherical_voronoi(centres, 50000)) {
            figures.push_back(cell.area);
            for (const std::size_t k : cell.neighbors) figures.push_back(static_cast<double>(k));
        }
        figures.push_back(cap_exclusivity(4, centres, radii, 30001));
        const CoverageEstimate c = estimate_coverage(centres, radii, 40000);
        figures.push_back(c.covered_area);
        figures.push_back(c.overlap_area);
        return figures;
    };
    std::vector<double> one_thread;
    tbb::task_arena(1).execute([&] { one_thread = run(); });
    std::vector<double> three_threads;
    tbb::task_arena(3).execute([&] { three_threads = run(); });
    EXPECT_EQ(one_thread, three_threads);
    EXPECT_EQ(one_thread, run());
}

TEST(CurvatureSignature, TrianglesAroundAVertex) {
    const std::vector<SphericalPoint> three{direction(1, 0, 0), direction(0, 1, 0), direction(0, 0, 1)};
    const std::vector<double> one = curvature_signature(0, three);
    ASSERT_EQ(one.size(), 1U);
    EXPECT_NEAR(one[0], kPi / 2.0, 1e-14);
    EXPECT_TRUE(curvature_signature(3, three).empty());
    EXPECT_TRUE(curvature_signature(0, std::vector{kNorth, kSouth}).empty());

    std::vector<SphericalPoint> points;
    SphereSampler s(11);
    for (int k = 0; k < 7; ++k) points.push_back(cartesian_to_spherical(s.next_point()));
    const std::size_t vertex = 3;
    std::vector<double> expected;
    for (std::size_t j = 0; j < 7; ++j) {
        for (std::size_t k = j + 1; k < 7; ++k) {
            if (j != vertex && k != vertex) expected.push_back(spherical_excess(points[j], points[k], points[vertex]));
        }
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(curvature_signature(vertex, points), expected);
}

}  // namespace
}  // namespace vantorel::core::spatial
