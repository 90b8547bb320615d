#include <gtest/gtest.h>

#include <oneapi/tbb/global_control.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <variant>
#include <vector>

#include "stop_text.hpp"
#include "core/conversions.hpp"
#include "core/invariant.hpp"
#include "embed/embedding.hpp"
#include "embed/projection/pca_projection.hpp"

namespace vantorel::embed {
namespace {

// Rows of a 5-D corpus with three dominant directions (variances roughly
// 0.244, 0.047, 0.013 after normalising, then a gap to 0.0022).
const std::vector<std::vector<double>> kGapRows = {
    {2.21, -1.74, -0.56, 3.75, 3.68}, {0.51, -2.49, 2.37, -2.32, 2.43}, {2.01, -1.80, 0.22, 1.90, 3.46},
    {1.21, -1.65, 2.86, -2.37, 2.49}, {-0.21, -3.78, 0.76, -1.74, 2.39}, {2.62, -2.43, -3.27, 4.04, 3.98},
    {0.85, -2.92, 0.05, 0.51, 2.95}, {2.53, -1.72, -1.08, 2.68, 3.72}, {1.31, -1.38, 3.10, -1.12, 2.58},
    {1.20, -2.65, -0.06, 1.34, 3.14}, {1.56, -1.65, 1.61, 0.50, 3.03}, {2.04, -1.82, 0.45, 1.83, 3.28},
};

// numpy eigh of the covariance (divided by n) of the normalised, centred rows.
constexpr std::array<double, 3> kOracleEigenvalues = {0.24415265348353687, 0.04666538179055535,
                                                      0.012786232333789425};
constexpr double kOracleTrace = 0.3059190058972583;
constexpr double kOracleRatio = 0.9924334930332703;
constexpr std::array<std::array<double, 5>, 3> kOracleVectors = {{
    {-0.1927210053788223, -0.09477501352038553, 0.5815170210160789, -0.7784301873460097, -0.09879629848849646},
    {0.4579795072269344, 0.6036697026975074, 0.5931190167477367, 0.23989907282181372, 0.12843647393442628},
    {0.017200535199364975, -0.6417468586092936, 0.3937354829889751, 0.2932657815722073, 0.5889250052835586},
}};

PcaProjection fit_ok(const Corpus& corpus, RadialStrategy radial = RadialStrategy::magnitude()) {
    auto fitted = PcaProjection::fit(corpus, std::move(radial));
    EXPECT_TRUE(fitted.has_value()) << fitted.error().message();
    return std::move(fitted).value();
}

void expect_same_fit(const PcaProjection& a, const PcaProjection& b) {
    EXPECT_EQ(a.eigenvalues(), b.eigenvalues());
    EXPECT_EQ(a.total_variance(), b.total_variance());
    for (std::size_t k = 0; k < 3; ++k) EXPECT_TRUE(std::ranges::equal(a.component(k), b.component(k)));
}

TEST(PcaFit, ErrorsInCheckOrderWithTheirTexts) {
    const auto empty = PcaProjection::fit(Corpus{}, RadialStrategy::magnitude());
    ASSERT_FALSE(empty.has_value());
    EXPECT_EQ(empty.error().message(), "need at least one embedding to fit a projection");

    // A short first row wins over a later mismatch.
    const auto low = PcaProjection::fit(Corpus::from_rows({{1, 2}, {1, 2, 3, 4}}), RadialStrategy::magnitude());
    ASSERT_FALSE(low.has_value());
    EXPECT_EQ(low.error().message(), "embedding dimension 2 is below the minimum 3 for this projection");

    const auto ragged =
        PcaProjection::fit(Corpus::from_rows({{1, 2, 3, 4}, {4, 3, 2, 1}, {1, 1, 1, 1, 1}}), RadialStrategy::magnitude());
    ASSERT_FALSE(ragged.has_value());
    EXPECT_TRUE(std::holds_alternative<ProjectionError::InconsistentDimension>(ragged.error().kind));
    EXPECT_EQ(ragged.error().message(), "embedding 2 has dimension 5, expected 4");
}

TEST(PcaFit, MatchesEigendecompositionOfTheCovariance) {
    const PcaProjection pca = fit_ok(Corpus::from_rows(kGapRows));
    EXPECT_EQ(pca.dimension(), 5u);
    EXPECT_FALSE(pca.volumetric());
    EXPECT_NEAR(pca.total_variance(), kOracleTrace, 1e-15);
    EXPECT_NEAR(pca.explained_variance_ratio(), kOracleRatio, 1e-9);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(pca.eigenvalues()[k], kOracleEigenvalues[k], 1e-9 * kOracleEigenvalues[k]);
        const auto c = pca.component(k);
        const double sign = dot(c, kOracleVectors[k]) < 0.0 ? -1.0 : 1.0;
        for (std::size_t i = 0; i < 5; ++i) EXPECT_NEAR(c[i], sign * kOracleVectors[k][i], 1e-5) << k << "," << i;
        for (std::size_t j = 0; j < k; ++j) EXPECT_NEAR(dot(c, pca.component(j)), 0.0, 1e-9);
    }
    // A corpus within one block gives the plain sequential sums (row order, index
    // order) exactly, as a direct transcription of the iteration computes them.
    EXPECT_EQ(pca.eigenvalues()[0], 0.24415265345655332);
    EXPECT_EQ(pca.eigenvalues()[1], 0.04666538179136314);
    EXPECT_EQ(pca.eigenvalues()[2], 0.012786232333515649);
    EXPECT_EQ(pca.component(0)[3], 0.778429492845272);
}

TEST(PcaFit, SingleEmbeddingKeepsTheSeededStartVectors) {
    const PcaProjection pca = fit_ok(Corpus::from_rows({{3.0, -1.0, 2.0, 0.5}}));
    // Normalised Gaussian draws of seed 0xdeadbeef, three vectors in a row.
    const std::array<std::array<double, 4>, 3> starts = {{
        {0.3225312384474948, -0.9016387014232883, -0.2534307949592744, -0.1370915186565612},
        {0.8458128566379282, 0.2843678593820927, 0.4511988263321989, -0.01245597097299457},
        {-0.8268339147094651, 0.23389079042511624, 0.3143464166665947, -0.4035184084641085},
    }};
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(pca.eigenvalues()[k], 0.0);
        for (std::size_t i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(pca.component(k)[i], starts[k][i]);
    }
    EXPECT_DOUBLE_EQ(pca.mean()[0], 3.0 / std::sqrt(14.25));
    EXPECT_EQ(pca.total_variance(), 0.0);
    EXPECT_EQ(pca.explained_variance_ratio(), 1.0);
}

TEST(PcaFit, RefitsAndPositiveScalingLeaveTheFitUnchanged) {
    const Corpus corpus = Corpus::from_rows(kGapRows);
    const PcaProjection a = fit_ok(corpus);
    expect_same_fit(a, fit_ok(corpus));

    std::vector<std::vector<double>> scaled = kGapRows;
    const std::array<double, 4> factors = {3.0, 0.001, 7.5, 1e6};
    for (std::size_t j = 0; j < scaled.size(); ++j) std::ranges::for_each(scaled[j], [&](double& x) { x *= factors[j % 4]; });
    const PcaProjection b = fit_ok(Corpus::from_rows(scaled));
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(a.eigenvalues()[k], b.eigenvalues()[k], 1e-14);
        for (std::size_t i = 0; i < 5; ++i) EXPECT_NEAR(a.component(k)[i], b.component(k)[i], 1e-12);
    }
}

TEST(PcaFit, ResultDoesNotDependOnTheThreadCount) {
    // Enough rows for several parallel blocks, with a ragged last block.
    std::uint64_t state = 7;
    const std::size_t rows = 1500, dim = 24;
    std::vector<double> values = gaussian_vector(state, rows * dim);
    for (std::size_t x = 0; x < values.size(); ++x) values[x] += (x % dim) % 3 == (x / dim) % 3 ? 4.0 : 0.0;
    const Corpus corpus = Corpus::uniform(values, rows, dim);
    auto fit_with = [&](std::size_t threads) {
        tbb::global_control limit(tbb::global_control::max_allowed_parallelism, threads);
        return fit_ok(corpus);
    };
    const PcaProjection serial = fit_with(1);
    expect_same_fit(serial, fit_with(3));
    expect_same_fit(serial, fit_with(8));
}

TEST(PcaProject, RadialVolumetricAndRichResults) {
    PcaProjection pca = fit_ok(Corpus::from_rows(kGapRows));
    for (const std::vector<double>& e : {std::vector<double>{1.0, -2.0, 0.5, 0.3, 2.0}, std::vector<double>(5, 0.0)}) {
        // The image by definition: components dotted with the centred unit embedding
        // (a zero embedding is centred as -mean).
        const double norm = std::sqrt(dot(e, e));
        std::array<double, 4> img{};  // x, y, z, |c|^2
        for (std::size_t i = 0; i < 5; ++i) {
            const double c = (norm > 0.0 ? e[i] / norm : 0.0) - pca.mean()[i];
            for (std::size_t k = 0; k < 3; ++k) img[k] += pca.component(k)[i] * c;
            img[3] += c * c;
        }
        const double len = std::sqrt(img[0] * img[0] + img[1] * img[1] + img[2] * img[2]);
        const core::SphericalPoint dir = core::cartesian_to_spherical(img[0], img[1], img[2]);

        const PcaCoordinates xyz = pca.project_xyz_residual(e);
        EXPECT_NEAR(xyz.x, img[0], 1e-14);
        EXPECT_NEAR(xyz.z, img[2], 1e-14);
        EXPECT_NEAR(xyz.residual, img[3] - len * len, 1e-14);

        pca.set_volumetric(false);
        const ProjectedPoint rich = pca.project_rich(e);
        EXPECT_NEAR(rich.position.r, norm, 1e-14);
        EXPECT_NEAR(rich.position.theta, dir.theta, 1e-12);
        EXPECT_NEAR(rich.position.phi, dir.phi, 1e-12);
        EXPECT_NEAR(rich.certainty, len * len / img[3], 1e-12);
        EXPECT_NEAR(rich.intensity, norm, 1e-14);
        EXPECT_NEAR(rich.projection_magnitude, len, 1e-14);

        pca.set_volumetric(true);
        const core::SphericalPoint vol = pca.project(e);
        EXPECT_NEAR(vol.r, len, 1e-14);
        EXPECT_DOUBLE_EQ(vol.theta, rich.position.theta);
        EXPECT_DOUBLE_EQ(vol.phi, rich.position.phi);
    }
    const PcaProjection fixed = fit_ok(Corpus::from_rows(kGapRows), RadialStrategy::fixed(2.5));
    EXPECT_EQ(fixed.project(kGapRows[0]).r, 2.5);
}

TEST(PcaProject, ImageShorterThanEpsilon) {
    const std::vector<double> e = {2.0, -1.0, 2.0, 4.0};
    const Corpus copies = Corpus::from_rows({e, e, e});
    PcaProjection pca = fit_ok(copies);
    EXPECT_EQ(pca.explained_variance_ratio(), 1.0);

    const core::SphericalPoint radial = pca.project(e);
    EXPECT_EQ((std::array{radial.r, radial.theta, radial.phi}), (std::array{5.0, 0.0, 0.0}));
    // The centred embedding has no length at all, so nothing of it is kept.
    EXPECT_EQ(pca.project_rich(e).certainty, 0.0);

    pca.set_volumetric(true);
    const core::SphericalPoint vol = pca.project(e);
    EXPECT_EQ((std::array{vol.r, vol.theta, vol.phi}), (std::array{0.0, 0.0, 0.0}));
}

TEST(PcaProject, WrongDimensionIsABrokenInvariant) {
    const PcaProjection pca = fit_ok(Corpus::from_rows(kGapRows));
    const std::vector<double> short_row = {1.0, 2.0, 3.0, 4.0};
    EXPECT_EQ(testing::stop_text([&] { (void)pca.project(short_row); }), "expected dimension 5, got 4");
    EXPECT_THROW((void)pca.project_rich(short_row), core::InvariantViolation);
    EXPECT_THROW((void)pca.project_xyz_residual(short_row), core::InvariantViolation);
}

}  // namespace
}  // namespace vantorel::embed
