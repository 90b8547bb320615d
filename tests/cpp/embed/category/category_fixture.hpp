#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "embed/category/category_layer.hpp"
#include "embed/projection/configured_projection.hpp"

namespace vantorel::embed::testing {

// Items dealt round-robin to `categories` Gaussian clusters ("c0", "c1", ...),
// so every category's members interleave with the others'.
struct LabelledCorpus {
    std::vector<std::string> labels;
    Corpus embeddings;
};

inline LabelledCorpus clustered(std::size_t categories, std::size_t per_category, std::size_t dim, double noise,
                                std::uint64_t seed) {
    std::uint64_t state = seed;
    std::vector<std::vector<double>> centres;
    for (std::size_t c = 0; c < categories; ++c) centres.push_back(gaussian_vector(state, dim));
    LabelledCorpus out;
    std::vector<double> values;
    for (std::size_t i = 0; i < categories * per_category; ++i) {
        const std::size_t c = i % categories;
        const std::vector<double> jitter = gaussian_vector(state, dim);
        for (std::size_t k = 0; k < dim; ++k) values.push_back(centres[c][k] + noise * jitter[k]);
        out.labels.push_back("c" + std::to_string(c));
    }
    out.embeddings = Corpus::uniform(std::move(values), categories * per_category, dim);
    return out;
}

// Default settings with small sample counts, to keep the samplers quick.
inline PipelineConfig quick_config() {
    PipelineConfig config;
    config.spatial = {4000, 3000, 4000};
    return config;
}

struct BuiltLayer {
    ConfiguredProjection projection;
    std::vector<core::SphericalPoint> positions;
    CategoryLayer layer;
};

inline BuiltLayer build_layer(const std::vector<std::string>& labels, const Corpus& embeddings,
                              const PipelineConfig& config) {
    ConfiguredProjection projection = fit_projection_for_config(embeddings, config).value();
    std::vector<core::SphericalPoint> positions;
    for (std::size_t i = 0; i < embeddings.size(); ++i) positions.push_back(projection.project(embeddings[i]));
    CategoryLayer layer = CategoryLayer::build_with_config(labels, embeddings, positions, projection, config,
                                                           projection.explained_variance_ratio());
    return {std::move(projection), std::move(positions), std::move(layer)};
}

}  // namespace vantorel::embed::testing
