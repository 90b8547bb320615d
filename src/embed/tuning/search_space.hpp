#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "embed/config.hpp"

namespace vantorel::embed {

// The candidate lists of the nine knobs the tuner varies; a value-initialised
// space holds the default candidates. Lists are ordered and may hold
// duplicates or be empty: order fixes the grid numbering and which candidate a
// draw picks. The Laplacian lists apply only to LaplacianEigenmap
// configurations; the other six ("common") lists apply to every one.
struct SearchSpace {
    std::vector<ProjectionKind> projection_kinds{ProjectionKind::Pca, ProjectionKind::LaplacianEigenmap};
    std::vector<std::uint64_t> laplacian_k_neighbors{10, 15, 25};
    std::vector<double> laplacian_active_threshold{0.03, 0.05, 0.1};
    std::vector<std::uint64_t> num_domain_groups{3, 5, 7};
    std::vector<double> low_evr_threshold{0.25, 0.35, 0.45};
    std::vector<double> overlap_artifact_territorial{0.2, 0.3, 0.4};
    std::vector<double> threshold_base{0.4, 0.5, 0.6};
    std::vector<double> threshold_evr_penalty{0.2, 0.4, 0.6};
    std::vector<double> min_evr_improvement{0.05, 0.1, 0.15};

    // The dictionary form: every field required, in this order.
    static constexpr std::string_view kRecordName = "SearchSpace";
    static constexpr bool kFieldsHaveDefaults = false;
    template <class Self, class F>
    static void fields(Self& self, F&& f) {
        f("projection_kinds", self.projection_kinds);
        f("laplacian_k_neighbors", self.laplacian_k_neighbors);
        f("laplacian_active_threshold", self.laplacian_active_threshold);
        f("num_domain_groups", self.num_domain_groups);
        f("low_evr_threshold", self.low_evr_threshold);
        f("overlap_artifact_territorial", self.overlap_artifact_territorial);
        f("threshold_base", self.threshold_base);
        f("threshold_evr_penalty", self.threshold_evr_penalty);
        f("min_evr_improvement", self.min_evr_improvement);
    }

    // Number of grid configurations: one block per entry of `projection_kinds`
    // (duplicates count again). Saturates at 2^64 - 1 rather than wrapping.
    [[nodiscard]] std::uint64_t grid_cardinality() const;

    // Grid configuration number `index`: a copy of `base` with the tuned knobs
    // set; absent when `index` is past the grid. Kinds form consecutive blocks
    // and `num_domain_groups` varies fastest.
    [[nodiscard]] std::optional<PipelineConfig> config_at_index(std::uint64_t index,
                                                                const PipelineConfig& base) const;

    // One uniform draw: 7 generator steps, 9 when LaplacianEigenmap is drawn.
    // Every list drawn from must be non-empty; the caller checks that first.
    [[nodiscard]] PipelineConfig sample(std::uint64_t& state, const PipelineConfig& base) const;

    friend bool operator==(const SearchSpace&, const SearchSpace&) = default;
};

}  // namespace vantorel::embed
