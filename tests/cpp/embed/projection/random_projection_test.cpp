#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "stop_text.hpp"
#include "core/conversions.hpp"
#include "core/invariant.hpp"
#include "embed/embedding.hpp"
#include "embed/projection/random_projection.hpp"

namespace vantorel::embed {
namespace {

// SplitMix64 + Box-Muller (cosine branch) computed independently with
// arbitrary-precision integers, seed 42.
constexpr std::array<double, 6> kSeed42 = {0.4147197504315306,  -0.8918862136277563, 1.7295930879374024,
                                           0.5456204361828647,  -1.0804129549825412, -1.778848091058586};

TEST(GaussianVector, PinnedDrawsAndStateAdvance) {
    std::uint64_t state = 42;
    const std::vector<double> first = gaussian_vector(state, 4);
    const std::vector<double> rest = gaussian_vector(state, 2);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(first[i], kSeed42[i]);
    for (std::size_t i = 0; i < 2; ++i) EXPECT_DOUBLE_EQ(rest[i], kSeed42[4 + i]);
    // Two draws of 0x9e3779b97f4a7c15 per value, modulo 2^64.
    EXPECT_EQ(state, 0x6a99b4b1f77dd126ULL);
    EXPECT_TRUE(gaussian_vector(state, 0).empty());
}

TEST(RandomProjection, SeededDirectionsAndProjectionOfTheNormalisedCopy) {
    const RandomProjection rp = RandomProjection::make(3, RadialStrategy::magnitude(), 42);
    EXPECT_EQ(rp.dimension(), 3u);
    for (std::size_t x = 0; x < 6; ++x) EXPECT_DOUBLE_EQ(rp.direction(x / 3)[x % 3], kSeed42[x]);
    const RandomProjection again = RandomProjection::make(3, RadialStrategy::magnitude(), 42);
    for (std::size_t k = 0; k < 3; ++k) EXPECT_TRUE(std::ranges::equal(rp.direction(k), again.direction(k)));

    const RandomProjection six = RandomProjection::make(6, RadialStrategy::magnitude(), 42);
    std::uint64_t state = 99;
    std::vector<std::vector<double>> inputs(20);
    for (auto& e : inputs) e = gaussian_vector(state, 6);
    inputs.push_back(std::vector<double>(6, 0.0));           // normalises to (1, 0, ...)
    inputs.push_back({1e-17, 0.0, -1e-18, 0.0, 0.0, 0.0});  // below epsilon: the same
    inputs.push_back({1e150, -3e149, 2e150, 0.0, 1.0, -7e149});
    for (const auto& e : inputs) {
        // The order of operations of the definition: normalise, then dot.
        const std::vector<double> unit = Embedding{e}.normalized().values;
        const double x = dot(unit, six.direction(0));
        const double y = dot(unit, six.direction(1));
        const double z = dot(unit, six.direction(2));
        const double m = std::sqrt(x * x + y * y + z * z);
        const core::SphericalPoint dir = core::cartesian_to_spherical(x / m, y / m, z / m);
        const core::SphericalPoint p = six.project(e);
        EXPECT_EQ(p.r, magnitude(e));
        EXPECT_EQ(p.theta, dir.theta);
        EXPECT_EQ(p.phi, dir.phi);
    }
}

TEST(RandomProjection, RichResultAndRadialRules) {
    const std::vector<double> e = {3.0, 0.0, 4.0, 0.0};
    const RandomProjection rp = RandomProjection::make(4, RadialStrategy::magnitude(), 42);
    const ProjectedPoint rich = rp.project_rich(e);
    EXPECT_EQ(rich.position.r, 5.0);
    EXPECT_EQ(rich.position.theta, rp.project(e).theta);
    EXPECT_EQ(rich.certainty, 1.0);
    EXPECT_EQ(rich.intensity, 5.0);
    EXPECT_EQ(rich.projection_magnitude, 1.0);

    const RandomProjection fixed = RandomProjection::make(4, RadialStrategy::fixed(0.75), 42);
    EXPECT_EQ(fixed.project(e).r, 0.75);
    EXPECT_EQ(fixed.project_rich(e).intensity, 5.0);

    // A custom rule is shared, not copied, between copies of the projection.
    int calls = 0;
    const RandomProjection custom = RandomProjection::make(4, RadialStrategy::custom([&calls](double n) {
                                                               ++calls;
                                                               return n + 1.0;
                                                           }),
                                                           42);
    const RandomProjection copy = custom;
    EXPECT_EQ(copy.project(e).r, 6.0);
    EXPECT_EQ(custom.project(e).r, 6.0);
    EXPECT_EQ(calls, 2);
}

TEST(RandomProjection, BrokenInvariants) {
    EXPECT_EQ(testing::stop_text([] { (void)RandomProjection::make(2, RadialStrategy::magnitude(), 42); }),
              "embedding dimension must be >= 3");
    const RandomProjection rp = RandomProjection::make(3, RadialStrategy::magnitude(), 42);
    const std::vector<double> longer = {1.0, 2.0, 3.0, 4.0};
    EXPECT_EQ(testing::stop_text([&] { (void)rp.project(longer); }), "expected dimension 3, got 4");
    EXPECT_EQ(testing::stop_text([&] { (void)rp.project_rich(longer); }), "expected dimension 3, got 4");
}

TEST(EmbeddingHelpers, LengthMismatchesAreBrokenInvariants) {
    const std::vector<double> three = {1.0, 2.0, 3.0};
    const std::vector<double> two = {1.0, 2.0};
    EXPECT_THROW((void)dot(three, two), core::InvariantViolation);
    std::vector<double> out(2);
    EXPECT_THROW(normalize_into(three, out), core::InvariantViolation);
    // rows * cols wrapping around to the block size must not pass.
    const std::size_t half = std::size_t{1} << 63;
    EXPECT_THROW((void)Corpus::uniform({}, half, 2), core::InvariantViolation);
}

}  // namespace
}  // namespace vantorel::embed
