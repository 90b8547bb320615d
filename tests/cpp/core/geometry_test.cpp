#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "stop_text.hpp"
#include "core/conversions.hpp"
#include "core/distance.hpp"
#include "core/error.hpp"
#include "core/interpolation.hpp"
#include "core/invariant.hpp"
#include "core/numeric.hpp"
#include "core/types.hpp"

namespace vantorel::core {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

using vantorel::testing::stop_text;

std::string spherical_error(double r, double theta, double phi) {
    const auto made = SphericalPoint::make(r, theta, phi);
    return made ? "ok" : made.error().message();
}

std::string geo_error(double lat, double lon, double alt) {
    const auto made = GeoPoint::make(lat, lon, alt);
    return made ? "ok" : made.error().message();
}

// A reproducible spread of directions, independent of the engine's sampler.
std::vector<SphericalPoint> test_directions(std::size_t n) {
    std::vector<SphericalPoint> out;
    for (std::size_t i = 0; i < n; ++i) {
        const double k = static_cast<double>(i);
        const double z = 1.0 - (2.0 * k + 1.0) / static_cast<double>(n);
        out.push_back({1.0, std::fmod(k * 2.399963229728653, kTwoPi), std::acos(z)});
    }
    return out;
}

TEST(GeometryError, EveryMessage) {
    using K = VantorelError;
    EXPECT_EQ(VantorelError::invalid_radius(-1.0).message(), "invalid radius -1: must be >= 0");
    EXPECT_EQ(VantorelError::invalid_theta(kNan).message(), "invalid theta NaN: must be in [0, 2π)");
    EXPECT_EQ(VantorelError::invalid_phi(kInf).message(), "invalid phi inf: must be in [0, π]");
    EXPECT_EQ(VantorelError::invalid_latitude(-90.5).message(), "invalid latitude -90.5: must be in [-90, 90]");
    EXPECT_EQ(VantorelError::invalid_longitude(-kInf).message(), "invalid longitude -inf: must be in [-180, 180]");
    EXPECT_EQ(VantorelError::invalid_altitude(-0.1).message(), "invalid altitude -0.1: must be >= 0");
    EXPECT_EQ((VantorelError{K::InvalidShellBounds{2.0, 0.5}}).message(),
              "invalid shell bounds: inner 2 must be < outer 0.5");
    EXPECT_EQ((VantorelError{K::InvalidBandBounds{1.5, 1.25}}).message(),
              "invalid band bounds: phi_min 1.5 must be < phi_max 1.25");
    EXPECT_EQ((VantorelError{K::InvalidCone{0.0}}).message(), "invalid cone: half_angle 0 must be in (0, π]");
    EXPECT_EQ((VantorelError{K::InvalidCap{4.0}}).message(), "invalid cap: half_angle 4 must be in (0, π]");
    EXPECT_EQ((VantorelError{K::InvalidWedgeBounds{-1.0, 7.0}}).message(),
              "invalid wedge bounds: theta_min -1 and theta_max 7 must be in [0, 2π)");
    EXPECT_EQ((VantorelError{K::ZeroVector{}}).message(), "zero vector cannot be normalized");
}

TEST(PointTypes, ValidatingConstructors) {
    EXPECT_EQ(spherical_error(0.0, 0.0, 0.0), "ok");
    EXPECT_EQ(spherical_error(1.0, 0.0, kPi), "ok");
    EXPECT_EQ(spherical_error(1.0, std::nextafter(kTwoPi, 0.0), 0.0), "ok");
    EXPECT_EQ(spherical_error(kNan, 0.0, 0.0), "ok");
    EXPECT_EQ(spherical_error(1.0, kTwoPi, 0.0), "invalid theta 6.283185307179586: must be in [0, 2π)");
    EXPECT_EQ(spherical_error(-1.0, 7.0, 4.0), "invalid radius -1: must be >= 0");
    EXPECT_EQ(spherical_error(1.0, kNan, 0.0), "invalid theta NaN: must be in [0, 2π)");
    EXPECT_EQ(spherical_error(1.0, 0.0, std::nextafter(kPi, 4.0)),
              "invalid phi 3.1415926535897936: must be in [0, π]");

    EXPECT_EQ(geo_error(90.0, -180.0, 0.0), "ok");
    EXPECT_EQ(geo_error(0.0, 0.0, kNan), "ok");
    EXPECT_EQ(geo_error(-90.5, 0.0, 0.0), "invalid latitude -90.5: must be in [-90, 90]");
    EXPECT_EQ(geo_error(kNan, 500.0, -1.0), "invalid latitude NaN: must be in [-90, 90]");
    EXPECT_EQ(geo_error(0.0, 180.5, -1.0), "invalid longitude 180.5: must be in [-180, 180]");
    EXPECT_EQ(geo_error(0.0, 0.0, -0.1), "invalid altitude -0.1: must be >= 0");
}

TEST(PointTypes, CartesianMagnitudeAndNormalize) {
    EXPECT_EQ((CartesianPoint{3.0, 0.0, 4.0}).magnitude(), 5.0);
    const CartesianPoint n = CartesianPoint{3.0, 0.0, 4.0}.normalize();
    EXPECT_DOUBLE_EQ(n.x, 0.6);
    EXPECT_DOUBLE_EQ(n.z, 0.8);
    EXPECT_EQ(CartesianPoint{}.normalize().magnitude(), 0.0);
    EXPECT_EQ((CartesianPoint{1e-17, -1e-17, 0}).normalize().magnitude(), 0.0);
}

TEST(Conversions, CartesianToSphericalCases) {
    const SphericalPoint below_y = cartesian_to_spherical(0.0, -1.0, 0.0);
    EXPECT_DOUBLE_EQ(below_y.theta, 3.0 * kPi / 2.0);
    EXPECT_DOUBLE_EQ(below_y.phi, kPi / 2.0);
    const SphericalPoint south = cartesian_to_spherical(0.0, 0.0, -2.0);
    EXPECT_EQ(south.r, 2.0);
    EXPECT_EQ(south.theta, 0.0);
    EXPECT_EQ(south.phi, kPi);
    const SphericalPoint tiny = cartesian_to_spherical(1e-17, 1e-17, -1e-17);
    EXPECT_EQ(tiny.r, 0.0);
    EXPECT_EQ(tiny.theta, 0.0);
    EXPECT_EQ(tiny.phi, 0.0);
    // Just below +x the azimuth rounds up to 2π; results are not re-validated.
    EXPECT_EQ(cartesian_to_spherical(1.0, -1e-17, 0.0).theta, kTwoPi);
}

TEST(Conversions, RoundTripsAndIndependentGeoFormula) {
    for (const SphericalPoint& d : test_directions(200)) {
        const SphericalPoint p{2.5, d.theta, d.phi};
        const SphericalPoint back = cartesian_to_spherical(spherical_to_cartesian(p));
        EXPECT_NEAR(back.r, 2.5, 1e-14);
        EXPECT_NEAR(angular_distance(back, p), 0.0, 1e-14);

        const GeoPoint g = spherical_to_geo(p);
        EXPECT_NEAR(g.alt, 1.5, 1e-15);
        const double lat = g.lat * kDegToRad;
        const double lon = g.lon * kDegToRad;
        const CartesianPoint c = geo_to_cartesian(g);
        EXPECT_NEAR(c.x, 2.5 * std::cos(lat) * std::cos(lon), 1e-13);
        EXPECT_NEAR(c.y, 2.5 * std::cos(lat) * std::sin(lon), 1e-13);
        EXPECT_NEAR(c.z, 2.5 * std::sin(lat), 1e-13);
    }
}

TEST(Conversions, GeoEdgeCases) {
    const GeoPoint west = spherical_to_geo({1.0, kPi, kPi / 2.0});
    EXPECT_DOUBLE_EQ(west.lat, 0.0);
    EXPECT_EQ(west.lon, 180.0);
    EXPECT_EQ(west.alt, 0.0);
    EXPECT_DOUBLE_EQ(spherical_to_geo({1.0, 3.0 * kPi / 2.0, 0.0}).lon, -90.0);
    const GeoPoint inner = spherical_to_geo({0.5, 0.0, 0.0});
    EXPECT_EQ(inner.alt, 0.0);
    EXPECT_EQ(inner.lat, 90.0);
    EXPECT_EQ(spherical_to_geo({kNan, 0.0, 0.0}).alt, 0.0);

    EXPECT_DOUBLE_EQ(geo_to_spherical({0.0, -180.0, 0.0}).theta, kPi);
    EXPECT_DOUBLE_EQ(geo_to_spherical({0.0, -90.0, 0.0}).theta, 3.0 * kPi / 2.0);
    const SphericalPoint up = geo_to_spherical({90.0, 0.0, 2.0});
    EXPECT_EQ(up.r, 3.0);
    EXPECT_EQ(up.theta, 0.0);
    EXPECT_EQ(up.phi, 0.0);
}

// Haversine form of the central angle, written with latitudes.
double haversine(const SphericalPoint& a, const SphericalPoint& b) {
    const double lat1 = kPi / 2.0 - a.phi;
    const double lat2 = kPi / 2.0 - b.phi;
    const double s1 = std::sin((lat2 - lat1) / 2.0);
    const double s2 = std::sin((b.theta - a.theta) / 2.0);
    const double h = s1 * s1 + std::cos(lat1) * std::cos(lat2) * s2 * s2;
    return 2.0 * std::atan2(std::sqrt(h), std::sqrt(1.0 - h));
}

TEST(Distance, AgreesWithHaversineAndChordFormulas) {
    const std::vector<SphericalPoint> dirs = test_directions(60);
    for (std::size_t i = 0; i < dirs.size(); ++i) {
        for (std::size_t j = 0; j < dirs.size(); j += 7) {
            const SphericalPoint a{1.0, dirs[i].theta, dirs[i].phi};
            const SphericalPoint b{3.0, dirs[j].theta, dirs[j].phi};
            const double angle = angular_distance(a, b);
            EXPECT_NEAR(angle, haversine(a, b), 1e-12);
            EXPECT_EQ(great_circle_distance(a, b, 2.0), 2.0 * angle);
            // Law of cosines for radii 1 and 3; unit radii give 2·sin(angle/2).
            EXPECT_NEAR(chord_distance(a, b), std::sqrt(10.0 - 6.0 * std::cos(angle)), 1e-12);
            EXPECT_NEAR(chord_distance(a, SphericalPoint{1.0, b.theta, b.phi}), 2.0 * std::sin(angle / 2.0), 1e-12);
        }
    }
}

TEST(Distance, AccurateNearZeroAndPi) {
    const SphericalPoint a{1.0, 0.0, kPi / 2.0};
    EXPECT_EQ(angular_distance(a, SphericalPoint{5.0, 0.0, kPi / 2.0}), 0.0);
    EXPECT_EQ(angular_distance({1.0, 0.0, 0.0}, {1.0, 0.0, kPi}), kPi);
    // acos of the dot product would give 0 and π here.
    EXPECT_NEAR(angular_distance(a, {1.0, 1e-9, kPi / 2.0}), 1e-9, 1e-20);
    EXPECT_NEAR(angular_distance(a, {1.0, kPi - 1e-7, kPi / 2.0}), kPi - 1e-7, 1e-15);
}

TEST(Distance, CosineSimilarity) {
    const std::vector<double> empty;
    EXPECT_EQ(cosine_similarity(empty, empty), 0.0);
    EXPECT_EQ(cosine_similarity(std::vector{1.0, 0.0}, std::vector{0.0, 0.0}), 0.0);
    EXPECT_DOUBLE_EQ(cosine_similarity(std::vector{1.0, 2.0}, std::vector{2.0, 4.0}), 1.0);
    EXPECT_DOUBLE_EQ(cosine_similarity(std::vector{1.0, 2.0}, std::vector{-3.0, -6.0}), -1.0);
    EXPECT_DOUBLE_EQ(cosine_similarity(std::vector{3.0, 4.0}, std::vector{4.0, 3.0}), 0.96);
    // Sums that overflow are rescaled by powers of two, which changes no bit of
    // the cosine; a product of norms below epsilon still counts as zero.
    const std::vector<double> a{1.0, -2.0, 3.0}, b{0.5, 4.0, -1.5};
    const auto scaled = [](std::vector<double> v, int exponent) {
        for (double& x : v) x = std::ldexp(x, exponent);
        return v;
    };
    EXPECT_EQ(cosine_similarity(scaled(a, 700), scaled(b, 1000)), cosine_similarity(a, b));
    EXPECT_EQ(cosine_similarity(scaled(a, 700), scaled(b, -600)), cosine_similarity(a, b));
    EXPECT_EQ(cosine_similarity(scaled(a, 700), scaled(b, -1000)), 0.0);
    EXPECT_EQ(stop_text([&] { cosine_similarity(std::vector{1.0, 2.0}, std::vector{1.0}); }),
              "assertion `left == right` failed: vectors must have equal length for cosine "
              "similarity\n  left: 2\n right: 1");
}

TEST(Slerp, FollowsTheGreatCircle) {
    const SphericalPoint a{2.0, 0.4, 1.1};
    const SphericalPoint b{0.5, 2.9, 2.2};
    const double omega = angular_distance(a, b);
    for (const double t : {0.0, 0.1, 0.5, 0.8, 1.0}) {
        const SphericalPoint s = slerp(a, b, t);
        EXPECT_NEAR(s.r, 1.0, 1e-14);
        EXPECT_NEAR(angular_distance(a, s), t * omega, 1e-12);
        EXPECT_NEAR(angular_distance(s, b), (1.0 - t) * omega, 1e-12);
    }
    const SphericalPoint before = slerp(a, b, -5.0);
    const SphericalPoint at_a = slerp(a, b, 0.0);
    EXPECT_EQ(before.theta, at_a.theta);
    EXPECT_EQ(before.phi, at_a.phi);
    EXPECT_NEAR(angular_distance(before, a), 0.0, 1e-14);
    EXPECT_NEAR(angular_distance(slerp(a, b, 7.0), b), 0.0, 1e-14);

    const SphericalPoint same = slerp(a, a, 0.3);
    EXPECT_EQ(same.r, 1.0);
    EXPECT_EQ(same.theta, a.theta);
    EXPECT_EQ(same.phi, a.phi);
}

TEST(Slerp, AntipodalEndsTurnAboutOneAxis) {
    const SphericalPoint a{1.0, 0.3, 1.1};
    const SphericalPoint b{1.0, 0.3 + kPi, kPi - 1.1};
    const SphericalPoint b_nudged{1.0, 0.3 + kPi + 1e-13, kPi - 1.1 - 1e-13};
    const CartesianPoint u = unit_vector(a);
    const CartesianPoint mid = unit_vector(slerp(a, b, 0.5));
    for (const double t : {0.25, 0.5, 0.75}) {
        const SphericalPoint s = slerp(a, b, t);
        EXPECT_NEAR(s.r, 1.0, 1e-12);
        EXPECT_NEAR(angular_distance(a, s), t * kPi, 1e-9);
        // One plane through a for every t, and no jump when b moves by noise.
        const CartesianPoint w = unit_vector(s);
        const double det = u.x * (mid.y * w.z - mid.z * w.y) - u.y * (mid.x * w.z - mid.z * w.x) +
                           u.z * (mid.x * w.y - mid.y * w.x);
        EXPECT_NEAR(det, 0.0, 1e-9);
        EXPECT_NEAR(angular_distance(s, slerp(a, b_nudged, t)), 0.0, 1e-9);
    }
    EXPECT_NEAR(u.dot(mid), 0.0, 1e-9);
}

}  // namespace
}  // namespace vantorel::core
