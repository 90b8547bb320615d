#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "core/invariant.hpp"
#include "embed/search/slicing_manifold.hpp"

namespace vantorel::embed {
namespace {

using Point = core::CartesianPoint;

// The normal is defined up to its sign.
void expect_axis(const Point& got, const Point& want, double tolerance) {
    const double sign = got.x * want.x + got.y * want.y + got.z * want.z < 0.0 ? -1.0 : 1.0;
    EXPECT_NEAR(got.x, sign * want.x, tolerance);
    EXPECT_NEAR(got.y, sign * want.y, tolerance);
    EXPECT_NEAR(got.z, sign * want.z, tolerance);
}

TEST(SlicingManifold, PlanarPointsHaveTheirPlaneNormal) {
    const std::vector<Point> flat = {{1, 2, 0}, {-3, 0.5, 0}, {0.2, -1, 0}, {2, 2, 0}, {0, 0, 0}};
    const SlicingManifold m = SlicingManifold::fit(flat);
    EXPECT_EQ(m.variance_ratio, 1.0);
    expect_axis(m.normal, {0, 0, 1}, 0.0);
    EXPECT_DOUBLE_EQ(m.centroid.x, 0.04);
    EXPECT_DOUBLE_EQ(m.centroid.y, 0.7);
    EXPECT_EQ(m.centroid.z, 0.0);
}

// Oracle: numpy eigh of the covariance (divided by n) of the same points.
TEST(SlicingManifold, MatchesAnEigendecompositionOfTheCovariance) {
    const std::vector<Point> cloud = {{0.9, 0.1, 0.35}, {-0.4, 0.8, 0.02}, {0.3, -0.7, -0.1}, {1.2, 1.1, 0.9},
                                       {-1.0, -0.2, -0.45}, {0.1, 0.3, 0.2}, {0.5, -0.9, 0.05}, {-0.6, 0.4, -0.05}};
    const SlicingManifold m = SlicingManifold::fit(cloud);
    EXPECT_NEAR(m.centroid.x, 0.125, 1e-15);
    EXPECT_NEAR(m.centroid.y, 0.1125, 1e-15);
    EXPECT_NEAR(m.centroid.z, 0.115, 1e-15);
    expect_axis(m.normal, {0.3759593135594934, 0.2575732323244847, -0.8901183205269914}, 1e-10);
    EXPECT_NEAR(std::hypot(m.normal.x, m.normal.y, m.normal.z), 1.0, 1e-14);
    EXPECT_NEAR(m.variance_ratio, 0.9973736515195143, 1e-12);
}

TEST(SlicingManifold, DegenerateClouds) {
    // No variance at all: ratio 1 and the first axis.
    const std::vector<Point> same(4, Point{0.5, -1, 2});
    const SlicingManifold still = SlicingManifold::fit(same);
    EXPECT_EQ(still.variance_ratio, 1.0);
    EXPECT_EQ(still.normal, (Point{1, 0, 0}));

    // Points on a line along x: the normal lies across it, the ratio stays 1.
    const std::vector<Point> line = {{-1, 0, 0}, {0, 0, 0}, {3, 0, 0}};
    const SlicingManifold across = SlicingManifold::fit(line);
    EXPECT_EQ(across.variance_ratio, 1.0);
    EXPECT_EQ(across.normal.x, 0.0);

    EXPECT_THROW((void)SlicingManifold::fit(std::vector<Point>(2)), core::InvariantViolation);
}

TEST(SlicingManifold, LocalFitTakesTheNearestWithStableTies) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Distances to the origin: 2, then four points at 1, then NaN (last in the total order).
    const std::vector<Point> points = {{2, 0, 0}, {nan, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}, {0, -1, 0}};
    const Point origin{0, 0, 0};

    const SlicingManifold three = SlicingManifold::fit_local(origin, points, 1);  // k below 3 takes 3
    EXPECT_EQ(three.centroid, SlicingManifold::fit(std::vector<Point>{{0, 1, 0}, {1, 0, 0}, {0, 0, 1}}).centroid);

    const SlicingManifold four = SlicingManifold::fit_local(origin, points, 4);
    EXPECT_DOUBLE_EQ(four.centroid.x, 0.25);
    EXPECT_DOUBLE_EQ(four.centroid.y, 0.0);
    EXPECT_DOUBLE_EQ(four.centroid.z, 0.25);

    const SlicingManifold five = SlicingManifold::fit_local(origin, points, 5);
    EXPECT_DOUBLE_EQ(five.centroid.x, 0.6);

    const SlicingManifold all = SlicingManifold::fit_local(origin, points, std::numeric_limits<std::size_t>::max());
    EXPECT_TRUE(std::isnan(all.centroid.x));

    EXPECT_THROW((void)SlicingManifold::fit_local(origin, std::vector<Point>(2), 10), core::InvariantViolation);
}

}  // namespace
}  // namespace vantorel::embed
