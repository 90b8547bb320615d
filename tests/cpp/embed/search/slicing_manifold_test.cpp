#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "core/invariant.hpp"
#include "embed/search/slicing_manifold.hpp"

namespace vantorel::embed {
namespace {

// The normal is defined up to its sign.
void expect_axis(const Point3& got, const Point3& want, double tolerance) {
    const double sign = got[0] * want[0] + got[1] * want[1] + got[2] * want[2] < 0.0 ? -1.0 : 1.0;
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(got[a], sign * want[a], tolerance) << a;
}

TEST(SlicingManifold, PlanarPointsHaveTheirPlaneNormal) {
    const std::vector<Point3> flat = {{1, 2, 0}, {-3, 0.5, 0}, {0.2, -1, 0}, {2, 2, 0}, {0, 0, 0}};
    const SlicingManifold m = SlicingManifold::fit(flat);
    EXPECT_EQ(m.variance_ratio, 1.0);
    expect_axis(m.normal, {0, 0, 1}, 0.0);
    EXPECT_DOUBLE_EQ(m.centroid[0], 0.04);
    EXPECT_DOUBLE_EQ(m.centroid[1], 0.7);
    EXPECT_EQ(m.centroid[2], 0.0);
}

// Oracle: numpy eigh of the covariance (divided by n) of the same points.
TEST(SlicingManifold, MatchesAnEigendecompositionOfTheCovariance) {
    const std::vector<Point3> cloud = {{0.9, 0.1, 0.35}, {-0.4, 0.8, 0.02}, {0.3, -0.7, -0.1}, {1.2, 1.1, 0.9},
                                       {-1.0, -0.2, -0.45}, {0.1, 0.3, 0.2}, {0.5, -0.9, 0.05}, {-0.6, 0.4, -0.05}};
    const SlicingManifold m = SlicingManifold::fit(cloud);
    EXPECT_NEAR(m.centroid[0], 0.125, 1e-15);
    EXPECT_NEAR(m.centroid[1], 0.1125, 1e-15);
    EXPECT_NEAR(m.centroid[2], 0.115, 1e-15);
    expect_axis(m.normal, {0.3759593135594934, 0.2575732323244847, -0.8901183205269914}, 1e-10);
    EXPECT_NEAR(std::hypot(m.normal[0], m.normal[1], m.normal[2]), 1.0, 1e-14);
    EXPECT_NEAR(m.variance_ratio, 0.9973736515195143, 1e-12);
}

TEST(SlicingManifold, DegenerateClouds) {
    // No variance at all: ratio 1 and the first axis.
    const std::vector<Point3> same(4, Point3{0.5, -1, 2});
    const SlicingManifold still = SlicingManifold::fit(same);
    EXPECT_EQ(still.variance_ratio, 1.0);
    EXPECT_EQ(still.normal, (Point3{1, 0, 0}));

    // Points on a line along x: the normal lies across it, the ratio stays 1.
    const std::vector<Point3> line = {{-1, 0, 0}, {0, 0, 0}, {3, 0, 0}};
    const SlicingManifold across = SlicingManifold::fit(line);
    EXPECT_EQ(across.variance_ratio, 1.0);
    EXPECT_EQ(across.normal[0], 0.0);

    EXPECT_THROW((void)SlicingManifold::fit(std::vector<Point3>(2)), core::InvariantViolation);
}

TEST(SlicingManifold, LocalFitTakesTheNearestWithStableTies) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Distances to the origin: 2, then four points at 1, then NaN (last in the total order).
    const std::vector<Point3> points = {{2, 0, 0}, {nan, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}, {0, -1, 0}};
    const Point3 origin{0, 0, 0};

    const SlicingManifold three = SlicingManifold::fit_local(origin, points, 1);  // k below 3 takes 3
    EXPECT_EQ(three.centroid, SlicingManifold::fit(std::vector<Point3>{{0, 1, 0}, {1, 0, 0}, {0, 0, 1}}).centroid);

    const SlicingManifold four = SlicingManifold::fit_local(origin, points, 4);
    EXPECT_DOUBLE_EQ(four.centroid[0], 0.25);
    EXPECT_DOUBLE_EQ(four.centroid[1], 0.0);
    EXPECT_DOUBLE_EQ(four.centroid[2], 0.25);

    const SlicingManifold five = SlicingManifold::fit_local(origin, points, 5);
    EXPECT_DOUBLE_EQ(five.centroid[0], 0.6);

    const SlicingManifold all = SlicingManifold::fit_local(origin, points, std::numeric_limits<std::size_t>::max());
    EXPECT_TRUE(std::isnan(all.centroid[0]));

    EXPECT_THROW((void)SlicingManifold::fit_local(origin, std::vector<Point3>(2), 10), core::InvariantViolation);
}

}  // namespace
}  // namespace vantorel::embed
