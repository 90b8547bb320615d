// Where the time of a pipeline build goes, stage by stage, on a synthetic
// corpus shaped like sentence embeddings (20,000 × 384, 20 categories).
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/conversions.hpp"
#include "embed/category/category_layer.hpp"
#include "embed/projection/configured_projection.hpp"
#include "embed/category/domain_groups.hpp"
#include "embed/search/embedding_index.hpp"
#include "embed/pipeline/pipeline.hpp"
#include "embed/category/spatial_quality.hpp"
#include "synthetic_corpus.hpp"

namespace {

using namespace vantorel;
using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main() {
    const bench::LabelledRows corpus = bench::make_corpus(20000, 384, 20);
    const embed::PipelineConfig config;

    auto start = Clock::now();
    const auto projection = embed::fit_projection_for_config(corpus.rows, config).value();
    const double fit = ms_since(start);

    start = Clock::now();
    index::SpatialIndexBuilder grid;
    grid.uniform_shells(10, 1.0);
    auto idx = embed::EmbeddingIndexBuilder<embed::ConfiguredProjection>{projection, grid}.build();
    for (std::size_t i = 0; i < corpus.rows.size(); ++i) idx.insert(embed::item_id(i), corpus.rows[i]);
    std::vector<core::SphericalPoint> positions(corpus.rows.size());
    for (std::size_t i = 0; i < corpus.rows.size(); ++i) positions[i] = projection.project(corpus.rows[i]);
    const double index = ms_since(start);

    const double evr = projection.explained_variance_ratio();
    start = Clock::now();
    const auto layer =
        embed::CategoryLayer::build_with_config(corpus.labels, corpus.rows, positions, projection, config, evr);
    const double category_layer = ms_since(start);

    std::vector<core::SphericalPoint> centroids;
    std::vector<double> radii;
    for (const auto& s : layer.summaries()) {
        centroids.push_back(s.centroid);
        radii.push_back(s.angular_spread);
    }
    start = Clock::now();
    const auto quality = embed::SpatialQuality::compute_with_config(centroids, radii, config, evr);
    const double spatial_quality = ms_since(start);

    start = Clock::now();
    const auto groups = embed::domain_groups::detect_domain_groups(layer, config.routing.num_domain_groups);
    const double domain_groups = ms_since(start);

    start = Clock::now();
    const auto whole = embed::VantorelPipeline::make(corpus.labels, corpus.rows);
    const double total = ms_since(start);

    std::printf("pipeline build, n=20000, d=384, 20 categories, default settings\n");
    std::printf("  fit (volumetric PCA)            %8.1f ms\n", fit);
    std::printf("  index and positions             %8.1f ms\n", index);
    std::printf("  category layer                  %8.1f ms\n", category_layer);
    std::printf("    of which spatial quality      %8.1f ms\n", spatial_quality);
    std::printf("  domain groups                   %8.1f ms\n", domain_groups);
    std::printf("  whole build                     %8.1f ms  (%zu groups, %s)\n", total, groups.size(),
                whole.has_value() ? "ok" : "failed");
    return whole.has_value() && quality.exclusivity.size() == 20 ? 0 : 1;
}
