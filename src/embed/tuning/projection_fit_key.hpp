#pragma once

#include <cstddef>
#include <cstdint>

#include "embed/config.hpp"

namespace vantorel::embed {

// What a projection fit reads of a configuration: the kind and, for the
// Laplacian eigenmap, its neighbour count and threshold (as bits, so the key
// compares exactly). Configurations with one key share one fitted projection.
struct ProjectionFitKey {
    ProjectionKind kind = ProjectionKind::Pca;
    std::uint64_t k_neighbors = 0;            // LaplacianEigenmap only, else 0
    std::uint64_t active_threshold_bits = 0;  // LaplacianEigenmap only, else 0

    static ProjectionFitKey of(const PipelineConfig& config) noexcept;

    friend bool operator==(const ProjectionFitKey&, const ProjectionFitKey&) = default;
};

struct ProjectionFitKeyHash {
    std::size_t operator()(const ProjectionFitKey& key) const noexcept;
};

}  // namespace vantorel::embed
