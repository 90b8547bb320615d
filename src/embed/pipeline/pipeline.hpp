#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/expected.hpp"
#include "embed/category/category_layer.hpp"
#include "embed/category/category_paths.hpp"
#include "embed/pipeline/confidence.hpp"
#include "embed/config.hpp"
#include "embed/projection/configured_projection.hpp"
#include "embed/category/domain_groups.hpp"
#include "embed/embedding.hpp"
#include "embed/search/embedding_index.hpp"
#include "embed/pipeline/pipeline_error.hpp"

namespace vantorel::embed {

// One item in export form.
struct ExportedPoint {
    std::string id;
    std::string category;
    double r = 0.0;
    double theta = 0.0;
    double phi = 0.0;
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    double certainty = 0.0;
    double intensity = 0.0;
};

// One hit of a nearest-style query.
struct NearestResult {
    std::string id;
    std::string category;
    double confidence = 0.0;  // evr × certainty × max(√certainty, 0.01)
    double distance = 0.0;    // radians
    double certainty = 0.0;
    double intensity = 0.0;
};

struct PipelinePathStep {
    std::string id;
    std::string category;
    double cumulative_distance = 0.0;
    double hop_distance = 0.0;
    std::optional<double> bridge_strength;
};

struct PathResult {
    std::vector<PipelinePathStep> steps;
    double total_distance = 0.0;
};

struct GlobSummary {
    std::uint64_t id = 0;
    core::CartesianPoint centroid{};
    std::uint64_t member_count = 0;
    double radius = 0.0;
    // At most three (name, count) pairs: count descending, then first appearance among the members.
    std::vector<std::pair<std::string, std::uint64_t>> top_categories;
};

// The nine query kinds. Text payloads are borrowed for the call.
namespace query {
struct Nearest {
    std::uint64_t k = 5;
};
struct SimilarAbove {
    double min_cosine = 0.8;
};
struct ConceptPath {
    std::string_view source_id;
    std::string_view target_id;
    std::uint64_t graph_k = 10;
};
struct DetectGlobs {
    std::optional<std::uint64_t> k;
    std::uint64_t max_k = 10;
};
struct LocalManifold {
    std::uint64_t neighborhood_k = 10;
};
struct CategoryConceptPath {
    std::string_view source_category;
    std::string_view target_category;
};
struct CategoryNeighbors {
    std::string_view category;
    std::uint64_t k = 5;
};
struct DrillDown {
    std::string_view category;
    std::uint64_t k = 10;
};
struct CategoryStats {};
}  // namespace query

using PipelineQuery = std::variant<query::Nearest, query::SimilarAbove, query::ConceptPath, query::DetectGlobs,
                                   query::LocalManifold, query::CategoryConceptPath, query::CategoryNeighbors,
                                   query::DrillDown, query::CategoryStats>;

// Answers, one kind per query kind in the same order.
namespace output {
struct Nearest {
    std::vector<NearestResult> hits;
};
struct SimilarAbove {
    std::vector<NearestResult> hits;
};
struct ConceptPath {
    std::optional<PathResult> path;
};
struct Globs {
    std::vector<GlobSummary> globs;
};
struct LocalManifold {
    core::CartesianPoint centroid{};
    core::CartesianPoint normal{};
    double variance_ratio = 0.0;
};
struct CategoryPath {
    std::optional<embed::CategoryPath> path;
};
struct CategoryNeighbors {
    std::vector<CategorySummary> summaries;
};
struct DrillDown {
    std::vector<DrillDownResult> hits;
};
struct CategoryStats {
    std::vector<CategorySummary> summaries;
    std::vector<InnerSphereReport> inner_spheres;
};
}  // namespace output

using VantorelOutput = std::variant<output::Nearest, output::SimilarAbove, output::ConceptPath, output::Globs,
                                    output::LocalManifold, output::CategoryPath, output::CategoryNeighbors,
                                    output::DrillDown, output::CategoryStats>;

// What a build derives from the corpus and a fitted projection before the
// bridge, margin and routing settings come in; pipelines whose configurations
// differ only in those settings share one.
struct PipelineBasis {
    ConfiguredProjection projection;
    EmbeddingIndex<ConfiguredProjection> index;
    std::vector<std::string> ids;
    std::vector<core::CartesianPoint> points;
    CategoryLayer::Basis layer;
};

// A labelled corpus projected onto the sphere with everything the queries
// need: the item index, the category layer, domain groups and the quality
// warning. Immutable once built; any number of threads may query it.
class VantorelPipeline {
public:
    using Built = core::Expected<VantorelPipeline, PipelineError>;
    using Answer = core::Expected<VantorelOutput, PipelineError>;
    // Fewer embeddings fail with TooFewEmbeddings.
    static constexpr std::size_t kMinItems = 3;

    // Fits the projection the default configuration names.
    static Built make(std::vector<std::string> categories, Corpus embeddings);
    // Fits the projection `config.projection_kind` names; a fit error wins over
    // a length mismatch. Rows of unequal length fail as the PCA fit reports
    // them, also after a Laplacian fit, which accepts them.
    static Built make_with_config(std::vector<std::string> categories, Corpus embeddings, PipelineConfig config);
    // Around the caller's fitted PCA, used as it is (radial rule and volumetric flag included).
    static Built with_projection(std::vector<std::string> categories, Corpus embeddings, PcaProjection projection);
    static Built with_projection_and_config(std::vector<std::string> categories, Corpus embeddings,
                                            PcaProjection projection, PipelineConfig config);
    // The build every other constructor ends in. Every embedding must have the
    // projection's input dimension.
    static Built with_configured_projection_and_config(std::vector<std::string> categories, Corpus embeddings,
                                                       ConfiguredProjection projection, PipelineConfig config);

    // The two halves of `with_configured_projection_and_config`. `prepare`
    // checks the lengths and serves any inner-sphere margin; `from_basis`
    // builds for one configuration, whose projection and spatial settings
    // must be those the basis was prepared with.
    static core::Expected<PipelineBasis, PipelineError> prepare(std::span<const std::string> categories,
                                                                const Corpus& embeddings,
                                                                ConfiguredProjection projection,
                                                                const PipelineConfig& config);
    static Built from_basis(PipelineBasis basis, std::vector<std::string> categories, const Corpus& embeddings,
                            const PipelineConfig& config);

    [[nodiscard]] const ConfiguredProjection& projection() const noexcept { return projection_; }
    [[nodiscard]] const EmbeddingIndex<ConfiguredProjection>& index() const noexcept { return index_; }
    [[nodiscard]] const std::vector<std::string>& categories() const noexcept { return categories_; }
    [[nodiscard]] const std::vector<core::CartesianPoint>& points() const noexcept { return points_; }
    [[nodiscard]] const std::vector<std::string>& ids() const noexcept { return ids_; }
    [[nodiscard]] const CategoryLayer& category_layer() const noexcept { return category_layer_; }
    [[nodiscard]] const std::vector<ProjectionWarning>& warnings() const noexcept { return warnings_; }
    [[nodiscard]] const std::vector<DomainGroup>& domain_groups() const noexcept { return domain_groups_; }
    [[nodiscard]] const PipelineConfig& config() const noexcept { return config_; }

    [[nodiscard]] double explained_variance_ratio() const noexcept { return projection_.explained_variance_ratio(); }
    [[nodiscard]] std::vector<ExportedPoint> exported_points() const;
    [[nodiscard]] std::vector<std::string> unique_categories() const;
    // The category of "s-<n>" (n in decimal, an optional leading '+'), else "unknown".
    [[nodiscard]] std::string cat_for(std::string_view id) const;
    // Compact JSON array of the exported points, keys in field order.
    [[nodiscard]] std::string to_json() const;
    // Header and one line per item; names quoted with inner quotes doubled, numbers with six decimals.
    [[nodiscard]] std::string to_csv() const;

    // Answers one query; the embedding is read by Nearest, SimilarAbove,
    // LocalManifold and DrillDown only.
    [[nodiscard]] Answer query(const PipelineQuery& q, std::span<const double> embedding) const;
    // Routes through the nearest domain group when the projection is weak.
    [[nodiscard]] std::vector<NearestResult> hierarchical_nearest(std::span<const double> embedding,
                                                                  std::uint64_t k) const;
    // The flat nearest search with a given explained-variance ratio.
    [[nodiscard]] std::vector<NearestResult> nearest_filtered(std::span<const double> embedding, std::uint64_t k,
                                                              double evr) const;

private:
    VantorelPipeline(ConfiguredProjection projection, EmbeddingIndex<ConfiguredProjection> index,
                     std::vector<std::string> categories, std::vector<core::CartesianPoint> points,
                     std::vector<std::string> ids, CategoryLayer layer, std::vector<ProjectionWarning> warnings,
                     std::vector<DomainGroup> domain_groups, PipelineConfig config);

    // One function per query kind, in the order of PipelineQuery.
    [[nodiscard]] Answer answer(const query::Nearest& q, std::span<const double> embedding) const;
    [[nodiscard]] Answer answer(const query::SimilarAbove& q, std::span<const double> embedding) const;
    [[nodiscard]] Answer answer(const query::ConceptPath& q, std::span<const double> embedding) const;
    [[nodiscard]] Answer answer(const query::DetectGlobs& q, std::span<const double> embedding) const;
    [[nodiscard]] Answer answer(const query::LocalManifold& q, std::span<const double> embedding) const;
    [[nodiscard]] Answer answer(const query::CategoryConceptPath& q, std::span<const double> embedding) const;
    [[nodiscard]] Answer answer(const query::CategoryNeighbors& q, std::span<const double> embedding) const;
    [[nodiscard]] Answer answer(const query::DrillDown& q, std::span<const double> embedding) const;
    [[nodiscard]] Answer answer(const query::CategoryStats& q, std::span<const double> embedding) const;
    // UnknownCategory unless the layer has a category of that name.
    [[nodiscard]] std::optional<PipelineError> unknown_category(std::string_view name) const;

    // The kept hit for an indexed item, or none when it fails the quality filter.
    [[nodiscard]] std::optional<NearestResult> filtered_hit(const EmbeddingItem& item, std::string category,
                                                            double distance, double evr) const;

    ConfiguredProjection projection_;
    EmbeddingIndex<ConfiguredProjection> index_;
    std::vector<std::string> categories_;
    std::vector<core::CartesianPoint> points_;
    std::vector<std::string> ids_;
    CategoryLayer category_layer_;
    std::vector<ProjectionWarning> warnings_;
    std::vector<DomainGroup> domain_groups_;
    PipelineConfig config_;
    double min_certainty_ = 0.0;
    double min_confidence_ = 0.0;
};

// "s-" and the position in decimal, zero-padded to at least four digits.
std::string item_id(std::size_t position);

}  // namespace vantorel::embed
