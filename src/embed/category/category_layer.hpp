#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/types.hpp"
#include "embed/category/category_graph.hpp"
#include "embed/category/category_paths.hpp"
#include "embed/category/category_summary.hpp"
#include "embed/config.hpp"
#include "embed/projection/configured_projection.hpp"
#include "embed/embedding.hpp"
#include "embed/category/inner_sphere.hpp"
#include "embed/category/spatial_quality.hpp"

namespace vantorel::embed {

struct InnerSphereReport {
    std::string category_name;
    std::string_view projection_type;  // see inner_projection_name
    std::size_t category_index = 0;
    std::size_t member_count = 0;
    double inner_evr = 0.0;
    double global_subset_evr = 0.0;
    double evr_improvement = 0.0;
};

// The per-category structure of a pipeline: summaries, spatial quality,
// bridge graph and inner spheres. A category's index is its position in
// `summaries`, assigned in order of first appearance. Read-only once built.
class CategoryLayer {
public:
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const noexcept { return std::hash<std::string_view>{}(name); }
    };
    using NameMap = std::unordered_map<std::string, std::size_t, NameHash, std::equal_to<>>;

    // What a layer takes from its items' positions alone: summaries with
    // their spatial figures, the Monte-Carlo spatial statistics and the
    // inner-sphere fits. Layers whose configurations differ only in the bridge
    // thresholds and the inner-sphere margin share one.
    struct Basis {
        NameMap name_to_index;
        std::vector<CategorySummary> summaries;
        SpatialQuality spatial_quality;
        std::vector<std::optional<InnerSphereCandidate>> inner_candidates;
        std::vector<core::SphericalPoint> positions;
    };

    // The arguments of `build_with_config`; of the configuration it reads the
    // spatial sample counts and the inner-sphere settings. With a margin the
    // basis serves that margin only (inner fits that miss it are skipped),
    // without one it serves any.
    static Basis prepare(std::span<const std::string> categories, const Corpus& embeddings,
                         std::span<const core::SphericalPoint> positions, const ConfiguredProjection& projection,
                         const PipelineConfig& config, double evr, std::optional<double> margin);
    // The layer of `basis` under `config`, as `build_with_config` gives it.
    static CategoryLayer finish(Basis basis, const Corpus& embeddings, const PipelineConfig& config);

    // `categories`, `embeddings` and `positions` describe the same items, in
    // item order; `positions` are the items under `projection`, whose
    // explained-variance ratio is `evr`. All embeddings share one length.
    static CategoryLayer build_with_config(std::span<const std::string> categories, const Corpus& embeddings,
                                           std::span<const core::SphericalPoint> positions,
                                           const ConfiguredProjection& projection, const PipelineConfig& config,
                                           double evr);

    [[nodiscard]] const std::vector<CategorySummary>& summaries() const noexcept { return summaries_; }
    [[nodiscard]] const CategoryGraph& graph() const noexcept { return graph_; }
    [[nodiscard]] const std::vector<core::SphericalPoint>& positions() const noexcept { return positions_; }
    [[nodiscard]] const SpatialQuality& spatial_quality() const noexcept { return spatial_quality_; }
    [[nodiscard]] const NameMap& name_to_index() const noexcept { return name_to_index_; }
    // Indexed by category; empty where a category has no inner sphere.
    [[nodiscard]] const std::vector<std::optional<InnerSphere>>& inner_spheres() const noexcept {
        return inner_spheres_;
    }
    [[nodiscard]] std::optional<std::size_t> index_of(std::string_view name) const;

    // One report per inner sphere, by category index.
    [[nodiscard]] std::vector<InnerSphereReport> inner_sphere_stats() const;

    // Cheapest route over the bridge graph; absent for an unknown name.
    [[nodiscard]] std::optional<CategoryPath> category_path(std::string_view source, std::string_view target) const;

    // The summaries of at most k categories by ascending edge weight; empty for an unknown name.
    [[nodiscard]] std::vector<std::reference_wrapper<const CategorySummary>> category_neighbors(
        std::string_view name, std::size_t k) const;

    // At most k members of the category nearest to the query, on its inner
    // sphere when it has one, else on the global sphere of `projection`.
    [[nodiscard]] std::vector<DrillDownResult> drill_down_with_projection(std::string_view name,
                                                                          std::span<const double> query,
                                                                          const ConfiguredProjection& projection,
                                                                          std::size_t k) const;

private:
    CategoryLayer() = default;

    std::vector<CategorySummary> summaries_;
    CategoryGraph graph_;
    std::vector<core::SphericalPoint> positions_;
    SpatialQuality spatial_quality_;
    NameMap name_to_index_;
    std::vector<std::optional<InnerSphere>> inner_spheres_;
};

}  // namespace vantorel::embed
