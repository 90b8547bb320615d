#include "embed/tuning/search_space.hpp"

#include "core/invariant.hpp"
#include "core/numeric.hpp"
#include "embed/tuning/generator.hpp"

namespace vantorel::embed {
namespace {

// Peels the next mixed-radix digit off r and returns that list's element.
template <class T>
T digit(std::uint64_t& r, const std::vector<T>& list) {
    const std::uint64_t len = list.size();
    const std::uint64_t d = r % len;
    r /= len;
    return list[d];
}

// The candidate at one index draw; an empty list is the caller's broken promise.
template <class T>
T draw(std::uint64_t& state, const std::vector<T>& list) {
    return core::at_checked(list, draw_index(state, list.size()));
}

// Configurations in the grid block of one `projection_kinds` entry.
std::uint64_t block_size(const SearchSpace& s, ProjectionKind kind) {
    std::uint64_t size = 1;
    for (const std::size_t len : {s.num_domain_groups.size(), s.low_evr_threshold.size(),
                                  s.overlap_artifact_territorial.size(), s.threshold_base.size(),
                                  s.threshold_evr_penalty.size(), s.min_evr_improvement.size()}) {
        size = core::saturating_mul(size, len);
    }
    if (kind == ProjectionKind::LaplacianEigenmap) {
        size = core::saturating_mul(size, s.laplacian_k_neighbors.size());
        size = core::saturating_mul(size, s.laplacian_active_threshold.size());
    }
    return size;
}

}  // namespace

std::uint64_t SearchSpace::grid_cardinality() const {
    std::uint64_t total = 0;
    for (const ProjectionKind kind : projection_kinds) total = core::saturating_add(total, block_size(*this, kind));
    return total;
}

std::optional<PipelineConfig> SearchSpace::config_at_index(std::uint64_t index, const PipelineConfig& base) const {
    std::uint64_t offset = 0;
    for (const ProjectionKind kind : projection_kinds) {
        const std::uint64_t size = block_size(*this, kind);
        // offset <= index holds here: it only grows past blocks that end at or
        // before index, and a sum that would saturate ends in the owning block.
        if (index - offset >= size) {
            offset += size;
            continue;
        }
        std::uint64_t r = index - offset;
        PipelineConfig config = base;
        config.projection_kind = kind;
        config.routing.num_domain_groups = digit(r, num_domain_groups);
        config.routing.low_evr_threshold = digit(r, low_evr_threshold);
        config.bridges.overlap_artifact_territorial = digit(r, overlap_artifact_territorial);
        config.bridges.threshold_base = digit(r, threshold_base);
        config.bridges.threshold_evr_penalty = digit(r, threshold_evr_penalty);
        config.inner_sphere.min_evr_improvement = digit(r, min_evr_improvement);
        if (kind == ProjectionKind::LaplacianEigenmap) {
            config.laplacian.k_neighbors = digit(r, laplacian_k_neighbors);
            config.laplacian.active_threshold = digit(r, laplacian_active_threshold);
        }
        return config;
    }
    return std::nullopt;
}

PipelineConfig SearchSpace::sample(std::uint64_t& state, const PipelineConfig& base) const {
    PipelineConfig config = base;
    config.projection_kind = draw(state, projection_kinds);
    config.routing.num_domain_groups = draw(state, num_domain_groups);
    config.routing.low_evr_threshold = draw(state, low_evr_threshold);
    config.bridges.threshold_base = draw(state, threshold_base);
    config.bridges.threshold_evr_penalty = draw(state, threshold_evr_penalty);
    config.bridges.overlap_artifact_territorial = draw(state, overlap_artifact_territorial);
    config.inner_sphere.min_evr_improvement = draw(state, min_evr_improvement);
    if (config.projection_kind == ProjectionKind::LaplacianEigenmap) {
        config.laplacian.k_neighbors = draw(state, laplacian_k_neighbors);
        config.laplacian.active_threshold = draw(state, laplacian_active_threshold);
    }
    return config;
}

}  // namespace vantorel::embed
