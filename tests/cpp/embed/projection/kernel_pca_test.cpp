#include <gtest/gtest.h>

#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/info.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "stop_text.hpp"
#include "core/conversions.hpp"
#include "core/invariant.hpp"
#include "embed/projection/kernel_pca.hpp"

namespace vantorel::embed {
namespace {

// Three clusters of decreasing size and an outlier: a clear eigengap.
Corpus clusters() {
    return Corpus::from_rows({{1.0, 0.1, 0.0, 0.1}, {0.9, 0.2, 0.1, 0.0}, {1.1, 0.0, 0.1, 0.1}, {0.95, 0.1, 0.2, 0.0},
                              {1.0, 0.2, 0.1, 0.2}, {0.85, 0.0, 0.0, 0.1}, {0.1, 1.0, 0.1, 0.0}, {0.0, 0.9, 0.2, 0.1},
                              {0.2, 1.1, 0.0, 0.1}, {0.1, 0.0, 1.0, 0.4}, {0.0, 0.1, 0.9, 0.6}, {0.1, 0.1, 0.1, 1.0}});
}

// Uniform values in [-1, 1) from SplitMix64, reproducible in any language.
Corpus synthetic(std::size_t n, std::size_t dim, std::uint64_t seed) {
    std::vector<double> v(n * dim);
    for (std::size_t i = 0; i < v.size(); ++i) {
        v[i] = static_cast<double>(splitmix64(seed + (i + 1) * kGoldenGamma) >> 11) * 0x1p-53 * 2.0 - 1.0;
    }
    return Corpus::uniform(std::move(v), n, dim);
}

void expect_same_fit(const KernelPcaProjection& a, const KernelPcaProjection& b) {
    EXPECT_EQ(a.sigma(), b.sigma());
    EXPECT_EQ(a.eigenvalues(), b.eigenvalues());
    EXPECT_EQ(a.grand_mean(), b.grand_mean());
    EXPECT_EQ(a.trace(), b.trace());
    EXPECT_TRUE(std::ranges::equal(a.row_means(), b.row_means()));
    for (std::size_t k = 0; k < 3; ++k) EXPECT_TRUE(std::ranges::equal(a.alphas(k), b.alphas(k)));
}

TEST(KernelPcaFit, MatchesEigendecompositionOfTheCentredKernel) {
    const auto p = KernelPcaProjection::fit(clusters(), RadialStrategy::magnitude());
    ASSERT_TRUE(p.has_value());
    EXPECT_NEAR(p->sigma(), 0.8790750013044406, 1e-15);
    EXPECT_NEAR(p->eigenvalues()[0], 2.7163066603546557, 1e-9);
    EXPECT_NEAR(p->eigenvalues()[1], 1.6374238394757197, 1e-9);
    EXPECT_NEAR(p->eigenvalues()[2], 0.569626901276938, 1e-9);
    EXPECT_NEAR(p->trace(), 0.42488094251814895, 1e-14);
    EXPECT_NEAR(p->grand_mean(), 0.575119057481851, 1e-14);
    EXPECT_NEAR(p->row_means()[0], 0.6625388811084172, 1e-14);
    EXPECT_NEAR(p->row_means()[11], 0.4410500339102454, 1e-14);
    EXPECT_NEAR(p->explained_variance_ratio(), 0.9656347046163036, 1e-9);

    // Oracle coordinates (x, y, z, s); eigenvector signs are arbitrary, so the
    // second query fixes them.
    const std::vector<std::vector<double>> queries{{0.7, 0.5, 0.3, 0.2}, {0.2, 0.3, 0.9, 0.5}, {0.9, 0.1, 0.1, 0.1}};
    const double oracle[3][4] = {
        {-0.06651468466223519, -0.11448401391617334, 0.0577193101247229, 0.21680917926283838},
        {0.39389746863962777, 0.49449647196414304, 0.21952264667318708, 0.519222763077819},
        {-0.47094977884131556, -0.038926062352756446, 0.013998252934901187, 0.22560173043810994}};
    auto image = [&](std::size_t q) { return p->kernel_project(Embedding::from(queries[q]).normalized().values); };
    const KernelImage ref = image(1);
    const double sign[3] = {std::copysign(1.0, ref.x / oracle[1][0]), std::copysign(1.0, ref.y / oracle[1][1]),
                            std::copysign(1.0, ref.z / oracle[1][2])};
    for (std::size_t q = 0; q < 3; ++q) {
        const KernelImage got = image(q);
        EXPECT_NEAR(got.x, sign[0] * oracle[q][0], 1e-4);
        EXPECT_NEAR(got.y, sign[1] * oracle[q][1], 1e-4);
        EXPECT_NEAR(got.z, sign[2] * oracle[q][2], 1e-4);
        EXPECT_NEAR(got.s, oracle[q][3], 1e-13);
    }

    // The rich result places the image with the radial rule and reports its share of s.
    const ProjectedPoint rich = p->project_rich(queries[1]);
    const double q2 = ref.x * ref.x + ref.y * ref.y + ref.z * ref.z;
    const core::SphericalPoint dir = core::cartesian_to_spherical(ref.x, ref.y, ref.z);
    EXPECT_DOUBLE_EQ(rich.position.r, magnitude(queries[1]));
    EXPECT_DOUBLE_EQ(rich.position.theta, dir.theta);
    EXPECT_DOUBLE_EQ(rich.position.phi, dir.phi);
    EXPECT_DOUBLE_EQ(rich.certainty, q2 / ref.s);
    EXPECT_DOUBLE_EQ(rich.intensity, rich.position.r);
    EXPECT_DOUBLE_EQ(rich.projection_magnitude, std::sqrt(q2));
    auto volumetric = *p;
    volumetric.set_volumetric(true);
    EXPECT_DOUBLE_EQ(volumetric.project(queries[1]).r, std::sqrt(q2));
}

TEST(KernelPcaBandwidth, UsesAllPairsUpToHundredRows) {
    const Corpus hundred = synthetic(100, 12, 100);
    // Rank 2475 of the 4950 distances; rank 2474 would give 1.00439...
    EXPECT_NEAR(KernelPcaProjection::fit(hundred, {})->sigma(), 1.004549069187733, 1e-15);

    EXPECT_EQ(KernelPcaProjection::fit(Corpus::from_rows({{1.0, 2.0, 3.0}, {2.0, 4.0, 6.0}}), {})->sigma(), 1e-8);
    EXPECT_EQ(KernelPcaProjection::fit(Corpus::from_rows({{1.0, 2.0, 3.0}}), {})->sigma(), 1.0);
}

TEST(KernelPcaBandwidth, SamplesPairsBeyondHundredRows) {
    using Pairs = std::vector<std::pair<std::size_t, std::size_t>>;
    auto draw = [](std::size_t n) {
        std::uint64_t state = 0xcafebabe;
        Pairs out;
        for (int i = 0; i < 6; ++i) out.push_back(bandwidth_sample_pair(state, n));
        return out;
    };
    EXPECT_EQ(draw(101), (Pairs{{13, 18}, {46, 41}, {63, 72}, {96, 55}, {45, 52}, {78, 60}}));
    // Collisions move j up by one, wrapping to 0 at n.
    EXPECT_EQ(draw(2), (Pairs{{1, 0}, {0, 1}, {1, 0}, {1, 0}, {1, 0}, {0, 1}}));
    EXPECT_EQ(draw(3), (Pairs{{2, 1}, {2, 0}, {1, 0}, {0, 2}, {0, 1}, {0, 1}}));

    const Corpus corpus = synthetic(101, 12, 101);
    // Rank 2500 of the 5000 samples; all pairs would give 1.00069...
    EXPECT_NEAR(KernelPcaProjection::fit(corpus, {})->sigma(), 1.0024929469674528, 1e-15);
}

TEST(KernelPcaFit, ReportsErrorsInOrder) {
    auto message = [](const KernelPcaProjection::FitResult& r) { return r.has_value() ? "" : r.error().message(); };
    auto with_sigma = [&](double sigma) { return message(KernelPcaProjection::fit_with_sigma(Corpus{}, {}, sigma)); };
    EXPECT_EQ(with_sigma(0.0), "kernel bandwidth σ must be positive, got 0");
    EXPECT_EQ(with_sigma(-1.5), "kernel bandwidth σ must be positive, got -1.5");
    EXPECT_EQ(with_sigma(std::numeric_limits<double>::quiet_NaN()), "kernel bandwidth σ must be positive, got NaN");
    EXPECT_EQ(with_sigma(std::numeric_limits<double>::infinity()), "kernel bandwidth σ must be positive, got inf");
    EXPECT_EQ(with_sigma(1.0), "need at least one embedding to fit a projection");
    EXPECT_EQ(message(KernelPcaProjection::fit(Corpus::from_rows({{1, 2}, {1, 2, 3}}), {})),
              "embedding dimension 2 is below the minimum 3 for this projection");
    EXPECT_EQ(message(KernelPcaProjection::fit(Corpus::from_rows({{1, 2, 3, 4}, {1, 2, 3, 4}, {1, 2, 3, 4, 5}}), {})),
              "embedding 2 has dimension 5, expected 4");

    const auto p = KernelPcaProjection::fit(clusters(), {});
    EXPECT_EQ(testing::stop_text([&] { (void)p->project(std::vector<double>{1.0, 2.0, 3.0}); }),
              "expected dimension 4, got 3");
}

TEST(KernelPcaFit, RefitsAreIdenticalAndScaleFree) {
    const Corpus base = synthetic(40, 6, 7);
    const auto first = KernelPcaProjection::fit(base, {});
    expect_same_fit(*first, *KernelPcaProjection::fit(base, {}));

    std::vector<double> scaled(base.values().begin(), base.values().end());
    for (std::size_t k = 0; k < 6; ++k) scaled[6 * 3 + k] *= 4.0;  // a power of two keeps normalisation exact
    expect_same_fit(*first, *KernelPcaProjection::fit(Corpus::uniform(std::move(scaled), 40, 6), {}));
}

TEST(KernelPcaFit, ResultsDoNotDependOnThreadCount) {
    const Corpus corpus = synthetic(300, 8, 3);
    auto fit_with_threads = [&](int threads) {
        const tbb::global_control limit(tbb::global_control::max_allowed_parallelism,
                                        static_cast<std::size_t>(threads));
        return *KernelPcaProjection::fit(corpus, {});
    };
    expect_same_fit(fit_with_threads(1), fit_with_threads(std::max(4, tbb::info::default_concurrency())));
}

TEST(KernelPcaFit, DegenerateTrainingSets) {
    // One row: the centred kernel vanishes and every point lands on the pole.
    const auto one = KernelPcaProjection::fit(Corpus::from_rows({{0.0, 3.0, 4.0}}), RadialStrategy::fixed(2.5));
    EXPECT_EQ(one->eigenvalues(), (std::array<double, 3>{0.0, 0.0, 0.0}));
    EXPECT_EQ(one->explained_variance_ratio(), 1.0);
    const core::SphericalPoint pole = one->project(std::vector<double>{1.0, 2.0, 3.0});
    EXPECT_EQ(pole.r, 2.5);
    EXPECT_EQ(pole.theta, 0.0);
    EXPECT_EQ(pole.phi, 0.0);

    // A bandwidth so small that gamma overflows still gives duplicate rows kernel 1, not NaN.
    const auto sharp = KernelPcaProjection::fit_with_sigma(
        Corpus::from_rows({{1.0, 0.0, 0.0}, {1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}}), {}, 1e-200);
    EXPECT_TRUE(std::isinf(sharp->gamma()));
    EXPECT_NEAR(sharp->row_means()[0], 0.5, 1e-15);
    EXPECT_NEAR(sharp->eigenvalues()[0] + sharp->eigenvalues()[1] + sharp->eigenvalues()[2], sharp->trace() * 4, 1e-9);
}

TEST(KernelPcaProject, FarEmbeddingKeepsOnlyTheMeanTerms) {
    const auto p = KernelPcaProjection::fit_with_sigma(clusters(), {}, 0.1);
    const KernelImage far = p->kernel_project(std::vector<double>{0.0, 0.0, -1.0, 0.0});
    std::vector<double> offset;
    for (const double m : p->row_means()) offset.push_back(p->grand_mean() - m);
    EXPECT_NEAR(far.s, 1.0 + p->grand_mean(), 1e-12);
    EXPECT_NEAR(far.x, dot(p->alphas(0), offset), 1e-12);
    EXPECT_NEAR(far.y, dot(p->alphas(1), offset), 1e-12);
    EXPECT_NEAR(far.z, dot(p->alphas(2), offset), 1e-12);
}

}  // namespace
}  // namespace vantorel::embed
