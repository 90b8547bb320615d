#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "embed/projection/configured_projection.hpp"

namespace vantorel::embed {
namespace {

Corpus clustered(std::size_t n, std::size_t dim, unsigned seed) {
    std::mt19937_64 gen(seed);
    std::normal_distribution<double> noise(0.0, 0.3);
    std::vector<double> values(n * dim);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t d = 0; d < dim; ++d) values[i * dim + d] = (d == i % 4 ? 2.0 : 0.0) + noise(gen);
    }
    return Corpus::uniform(std::move(values), n, dim);
}

TEST(ConfiguredProjection, DefaultConfigFitsVolumetricPca) {
    const Corpus corpus = clustered(40, 6, 1);
    const auto fitted = fit_projection_for_config(corpus, PipelineConfig{});
    ASSERT_TRUE(fitted.has_value());
    EXPECT_EQ(fitted->kind(), ProjectionKind::Pca);
    const auto& pca = std::get<PcaProjection>(fitted->held());
    EXPECT_TRUE(pca.volumetric());
    for (std::size_t i = 0; i < corpus.size(); ++i) {
        const auto c = pca.project_xyz_residual(corpus[i]);
        EXPECT_DOUBLE_EQ(fitted->project(corpus[i]).r, std::sqrt(c.x * c.x + c.y * c.y + c.z * c.z));
    }
    EXPECT_DOUBLE_EQ(fitted->explained_variance_ratio(), pca.explained_variance_ratio());
}

TEST(ConfiguredProjection, KindsFollowTheConfig) {
    const Corpus corpus = clustered(30, 5, 2);
    PipelineConfig config;
    config.projection_kind = ProjectionKind::LaplacianEigenmap;
    config.laplacian.k_neighbors = 7;
    config.laplacian.active_threshold = 0.5;
    const auto lap = fit_projection_for_config(corpus, config);
    ASSERT_TRUE(lap.has_value());
    const auto direct = LaplacianEigenmapProjection::fit_with_params(corpus, 7, RadialStrategy::magnitude(), 0.5);
    ASSERT_TRUE(direct.has_value());
    EXPECT_EQ(std::get<LaplacianEigenmapProjection>(lap->held()).eigenvalues(), direct->eigenvalues());
    EXPECT_EQ(lap->explained_variance_ratio(), direct->connectivity_ratio());

    config.projection_kind = ProjectionKind::KernelPca;
    const auto kpca = fit_projection_for_config(corpus, config);
    ASSERT_TRUE(kpca.has_value());
    EXPECT_EQ(kpca->kind(), ProjectionKind::KernelPca);
    EXPECT_FALSE(std::get<KernelPcaProjection>(kpca->held()).volumetric());
    EXPECT_EQ(kpca->dimension(), 5u);
}

TEST(ConfiguredProjection, CopiesProjectIdentically) {
    const Corpus corpus = clustered(25, 4, 3);
    for (const auto kind : {ProjectionKind::Pca, ProjectionKind::KernelPca, ProjectionKind::LaplacianEigenmap}) {
        PipelineConfig config;
        config.projection_kind = kind;
        const auto fitted = fit_projection_for_config(corpus, config);
        ASSERT_TRUE(fitted.has_value());
        const ConfiguredProjection copy = *fitted;
        for (std::size_t i = 0; i < corpus.size(); ++i) {
            const auto a = fitted->project_rich(corpus[i]);
            const auto b = copy.project_rich(corpus[i]);
            EXPECT_EQ(a.position.r, b.position.r);
            EXPECT_EQ(a.position.theta, b.position.theta);
            EXPECT_EQ(a.certainty, b.certainty);
        }
    }
}

TEST(ConfiguredProjection, FitErrorsPassThrough) {
    PipelineConfig config;
    config.projection_kind = ProjectionKind::LaplacianEigenmap;
    const auto fitted = fit_projection_for_config(clustered(3, 4, 4), config);
    ASSERT_FALSE(fitted.has_value());
    EXPECT_EQ(fitted.error().message(), "need at least 4 embeddings, got 3");
    const Corpus one = Corpus::uniform({1.0, 2.0, 3.0}, 1, 3);
    const auto single = fit_projection_for_config(one, PipelineConfig{});
    ASSERT_TRUE(single.has_value());
    EXPECT_EQ(single->explained_variance_ratio(), 1.0);
}

}  // namespace
}  // namespace vantorel::embed
