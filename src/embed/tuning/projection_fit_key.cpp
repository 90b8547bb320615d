#include "embed/tuning/projection_fit_key.hpp"

#include <bit>

#include "embed/projection/projection.hpp"

namespace vantorel::embed {

ProjectionFitKey ProjectionFitKey::of(const PipelineConfig& config) noexcept {
    if (config.projection_kind != ProjectionKind::LaplacianEigenmap) return {config.projection_kind, 0, 0};
    return {config.projection_kind, config.laplacian.k_neighbors,
            std::bit_cast<std::uint64_t>(config.laplacian.active_threshold)};
}

std::size_t ProjectionFitKeyHash::operator()(const ProjectionFitKey& key) const noexcept {
    std::uint64_t h = splitmix64(static_cast<std::uint64_t>(key.kind));
    h = splitmix64(h ^ key.k_neighbors);
    h = splitmix64(h ^ key.active_threshold_bits);
    return static_cast<std::size_t>(h);
}

}  // namespace vantorel::embed
