// The query dispatch of a built pipeline and the routed nearest search.
#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "core/conversions.hpp"
#include "core/distance.hpp"
#include "core/numeric.hpp"
#include "embed/search/globs.hpp"
#include "embed/pipeline/pipeline.hpp"
#include "embed/search/slicing_manifold.hpp"

namespace vantorel::embed {
namespace {

// Category counts of a glob's members: count descending, then first
// appearance among the members, at most three.
std::vector<std::pair<std::string, std::uint64_t>> top_categories(const VantorelPipeline& pipeline,
                                                                  const std::vector<std::string>& member_ids) {
    std::vector<std::pair<std::string, std::uint64_t>> tally;
    std::unordered_map<std::string, std::size_t> slot;
    for (const std::string& id : member_ids) {
        std::string category = pipeline.cat_for(id);
        const auto [it, inserted] = slot.try_emplace(category, tally.size());
        if (inserted) tally.emplace_back(std::move(category), 0);
        ++tally[it->second].second;
    }
    std::stable_sort(tally.begin(), tally.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    if (tally.size() > 3) tally.resize(3);
    return tally;
}

}  // namespace

std::optional<NearestResult> VantorelPipeline::filtered_hit(const EmbeddingItem& item, std::string category,
                                                            double distance, double evr) const {
    const double certainty = item.projected.certainty;
    const double confidence = hit_confidence(evr, certainty);
    if (!(certainty >= min_certainty_ && confidence >= min_confidence_)) return std::nullopt;
    return NearestResult{item.id, std::move(category), confidence, distance, certainty, item.projected.intensity};
}

std::vector<NearestResult> VantorelPipeline::nearest_filtered(std::span<const double> embedding, std::uint64_t k,
                                                              double evr) const {
    const core::SphericalPoint point = projection_.project(embedding);
    std::vector<NearestResult> hits;
    for (auto& found : index_.spatial().nearest(point, static_cast<std::size_t>(k))) {
        if (auto hit = filtered_hit(found.item, cat_for(found.item.id), found.distance, evr)) {
            hits.push_back(std::move(*hit));
        }
    }
    return hits;
}

core::Expected<VantorelOutput, PipelineError> VantorelPipeline::query(const PipelineQuery& q,
                                                                     std::span<const double> embedding) const {
    using Answer = core::Expected<VantorelOutput, PipelineError>;
    const auto known_category = [this](std::string_view name) -> std::optional<PipelineError> {
        if (category_layer_.index_of(name)) return std::nullopt;
        return PipelineError::unknown_category(std::string(name));
    };

    return std::visit(
        [&](const auto& payload) -> Answer {
            using Q = std::decay_t<decltype(payload)>;
            if constexpr (std::is_same_v<Q, query::Nearest>) {
                return VantorelOutput{output::Nearest{nearest_filtered(embedding, payload.k, explained_variance_ratio())}};
            } else if constexpr (std::is_same_v<Q, query::SimilarAbove>) {
                const double evr = explained_variance_ratio();
                const auto found = index_.search_similar(embedding, payload.min_cosine);
                const core::SphericalPoint point = projection_.project(embedding);
                std::vector<NearestResult> hits;
                for (const EmbeddingItem& item : found.items) {
                    const double distance = core::angular_distance(point, item.position);
                    if (auto hit = filtered_hit(item, cat_for(item.id), distance, evr)) hits.push_back(std::move(*hit));
                }
                return VantorelOutput{output::SimilarAbove{std::move(hits)}};
            } else if constexpr (std::is_same_v<Q, query::ConceptPath>) {
                if (index_.get(payload.source_id) == nullptr) {
                    return core::Unexpected{PipelineError::unknown_id(std::string(payload.source_id))};
                }
                if (index_.get(payload.target_id) == nullptr) {
                    return core::Unexpected{PipelineError::unknown_id(std::string(payload.target_id))};
                }
                auto path = index_.concept_path(payload.source_id, payload.target_id,
                                                static_cast<std::size_t>(payload.graph_k));
                if (!path) return VantorelOutput{output::ConceptPath{}};
                PathResult result{{}, path->total_distance};
                result.steps.reserve(path->steps.size());
                for (auto& step : path->steps) {
                    std::string category = cat_for(step.id);
                    result.steps.push_back({std::move(step.id), std::move(category), step.cumulative_distance,
                                            step.hop_distance, step.bridge_strength});
                }
                return VantorelOutput{output::ConceptPath{std::move(result)}};
            } else if constexpr (std::is_same_v<Q, query::DetectGlobs>) {
                std::optional<std::size_t> k;
                if (payload.k) k = static_cast<std::size_t>(*payload.k);
                auto detected = GlobResult::detect(points_, ids_, k, static_cast<std::size_t>(payload.max_k));
                if (!detected) return core::Unexpected{PipelineError::glob_count_bound(payload.max_k)};
                std::vector<GlobSummary> globs;
                globs.reserve(detected->globs.size());
                for (const ConceptGlob& glob : detected->globs) {
                    globs.push_back({glob.id, glob.centroid, glob.member_ids.size(), glob.radius,
                                     top_categories(*this, glob.member_ids)});
                }
                return VantorelOutput{output::Globs{std::move(globs)}};
            } else if constexpr (std::is_same_v<Q, query::LocalManifold>) {
                const Point3 point = to_point3(core::spherical_to_cartesian(projection_.project(embedding)));
                const SlicingManifold m =
                    SlicingManifold::fit_local(point, points_, static_cast<std::size_t>(payload.neighborhood_k));
                return VantorelOutput{output::LocalManifold{m.centroid, m.normal, m.variance_ratio}};
            } else if constexpr (std::is_same_v<Q, query::CategoryConceptPath>) {
                if (auto error = known_category(payload.source_category)) return core::Unexpected{std::move(*error)};
                if (auto error = known_category(payload.target_category)) return core::Unexpected{std::move(*error)};
                return VantorelOutput{
                    output::CategoryPath{category_layer_.category_path(payload.source_category, payload.target_category)}};
            } else if constexpr (std::is_same_v<Q, query::CategoryNeighbors>) {
                if (auto error = known_category(payload.category)) return core::Unexpected{std::move(*error)};
                std::vector<CategorySummary> summaries;
                for (const CategorySummary& s :
                     category_layer_.category_neighbors(payload.category, static_cast<std::size_t>(payload.k))) {
                    summaries.push_back(s);
                }
                return VantorelOutput{output::CategoryNeighbors{std::move(summaries)}};
            } else if constexpr (std::is_same_v<Q, query::DrillDown>) {
                if (auto error = known_category(payload.category)) return core::Unexpected{std::move(*error)};
                return VantorelOutput{output::DrillDown{category_layer_.drill_down_with_projection(
                    payload.category, embedding, projection_, static_cast<std::size_t>(payload.k))}};
            } else {
                static_assert(std::is_same_v<Q, query::CategoryStats>);
                return VantorelOutput{
                    output::CategoryStats{category_layer_.summaries(), category_layer_.inner_sphere_stats()}};
            }
        },
        q);
}

std::vector<NearestResult> VantorelPipeline::hierarchical_nearest(std::span<const double> embedding,
                                                                  std::uint64_t k) const {
    const double evr = explained_variance_ratio();
    if (evr >= config_.routing.low_evr_threshold || domain_groups_.empty()) {
        return nearest_filtered(embedding, k, evr);
    }

    const core::SphericalPoint point = projection_.project(embedding);
    const DomainGroup* group = &domain_groups_.front();
    double best = core::angular_distance(point, group->centroid);
    for (const DomainGroup& candidate : domain_groups_) {
        const double d = core::angular_distance(point, candidate.centroid);
        if (core::total_order_less(d, best)) {
            best = d;
            group = &candidate;
        }
    }

    std::vector<NearestResult> hits;
    const auto& summaries = category_layer_.summaries();
    for (const std::size_t c : group->member_categories) {
        for (const DrillDownResult& found : category_layer_.drill_down_with_projection(
                 core::at_checked(summaries, c).name, embedding, projection_, static_cast<std::size_t>(k))) {
            const std::string& id = core::at_checked(ids_, found.item_index);
            const EmbeddingItem* item = index_.get(id);
            if (item == nullptr) core::stop("indexed item missing from the pipeline's index");
            const double certainty = item->projected.certainty;
            hits.push_back({id, categories_[found.item_index], hit_confidence(evr, certainty), found.distance,
                            certainty, item->projected.intensity});
        }
    }
    // NaN distances go last, so the comparison stays a strict weak order.
    std::stable_sort(hits.begin(), hits.end(), [](const NearestResult& a, const NearestResult& b) {
        return a.distance < b.distance || (!std::isnan(a.distance) && std::isnan(b.distance));
    });

    std::vector<NearestResult> kept;
    for (NearestResult& hit : hits) {
        if (kept.size() >= k) break;
        if (hit.certainty >= min_certainty_ && hit.confidence >= min_confidence_) kept.push_back(std::move(hit));
    }
    if (kept.empty()) return nearest_filtered(embedding, k, evr);
    return kept;
}

}  // namespace vantorel::embed
