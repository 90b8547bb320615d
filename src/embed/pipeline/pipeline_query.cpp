// The queries of a built pipeline, one function per kind, and the routed nearest search.
#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <optional>
#include <string_view>
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

std::optional<PipelineError> VantorelPipeline::unknown_category(std::string_view name) const {
    if (category_layer_.index_of(name)) return std::nullopt;
    return PipelineError::unknown_category(std::string(name));
}

VantorelPipeline::Answer VantorelPipeline::answer(const query::Nearest& q, std::span<const double> embedding) const {
    return VantorelOutput{output::Nearest{nearest_filtered(embedding, q.k, explained_variance_ratio())}};
}

// Hits keep the index's storage order; the distance is measured from the
// projected query.
VantorelPipeline::Answer VantorelPipeline::answer(const query::SimilarAbove& q,
                                                  std::span<const double> embedding) const {
    const double evr = explained_variance_ratio();
    const auto found = index_.search_similar(embedding, q.min_cosine);
    const core::SphericalPoint point = projection_.project(embedding);
    std::vector<NearestResult> hits;
    for (const EmbeddingItem& item : found.items) {
        const double distance = core::angular_distance(point, item.position);
        if (auto hit = filtered_hit(item, cat_for(item.id), distance, evr)) hits.push_back(std::move(*hit));
    }
    return VantorelOutput{output::SimilarAbove{std::move(hits)}};
}

VantorelPipeline::Answer VantorelPipeline::answer(const query::ConceptPath& q, std::span<const double>) const {
    for (const std::string_view id : {q.source_id, q.target_id}) {
        if (index_.get(id) == nullptr) return core::Unexpected{PipelineError::unknown_id(std::string(id))};
    }
    auto path = index_.concept_path(q.source_id, q.target_id, static_cast<std::size_t>(q.graph_k));
    if (!path) return VantorelOutput{output::ConceptPath{}};
    PathResult result{{}, path->total_distance};
    result.steps.reserve(path->steps.size());
    for (auto& step : path->steps) {
        std::string category = cat_for(step.id);
        result.steps.push_back({std::move(step.id), std::move(category), step.cumulative_distance, step.hop_distance,
                                step.bridge_strength});
    }
    return VantorelOutput{output::ConceptPath{std::move(result)}};
}

VantorelPipeline::Answer VantorelPipeline::answer(const query::DetectGlobs& q, std::span<const double>) const {
    std::optional<std::size_t> k;
    if (q.k) k = static_cast<std::size_t>(*q.k);
    auto detected = GlobResult::detect(points_, ids_, k, static_cast<std::size_t>(q.max_k));
    if (!detected) return core::Unexpected{PipelineError::glob_count_bound(q.max_k)};
    std::vector<GlobSummary> globs;
    globs.reserve(detected->globs.size());
    for (const ConceptGlob& glob : detected->globs) {
        globs.push_back(
            {glob.id, glob.centroid, glob.member_ids.size(), glob.radius, top_categories(*this, glob.member_ids)});
    }
    return VantorelOutput{output::Globs{std::move(globs)}};
}

VantorelPipeline::Answer VantorelPipeline::answer(const query::LocalManifold& q,
                                                  std::span<const double> embedding) const {
    const core::CartesianPoint point = core::spherical_to_cartesian(projection_.project(embedding));
    const SlicingManifold m = SlicingManifold::fit_local(point, points_, static_cast<std::size_t>(q.neighborhood_k));
    return VantorelOutput{output::LocalManifold{m.centroid, m.normal, m.variance_ratio}};
}

VantorelPipeline::Answer VantorelPipeline::answer(const query::CategoryConceptPath& q, std::span<const double>) const {
    for (const std::string_view name : {q.source_category, q.target_category}) {
        if (auto error = unknown_category(name)) return core::Unexpected{std::move(*error)};
    }
    return VantorelOutput{output::CategoryPath{category_layer_.category_path(q.source_category, q.target_category)}};
}

VantorelPipeline::Answer VantorelPipeline::answer(const query::CategoryNeighbors& q, std::span<const double>) const {
    if (auto error = unknown_category(q.category)) return core::Unexpected{std::move(*error)};
    std::vector<CategorySummary> summaries;
    for (const CategorySummary& s : category_layer_.category_neighbors(q.category, static_cast<std::size_t>(q.k))) {
        summaries.push_back(s);
    }
    return VantorelOutput{output::CategoryNeighbors{std::move(summaries)}};
}

VantorelPipeline::Answer VantorelPipeline::answer(const query::DrillDown& q, std::span<const double> embedding) const {
    if (auto error = unknown_category(q.category)) return core::Unexpected{std::move(*error)};
    return VantorelOutput{output::DrillDown{
        category_layer_.drill_down_with_projection(q.category, embedding, projection_, static_cast<std::size_t>(q.k))}};
}

VantorelPipeline::Answer VantorelPipeline::answer(const query::CategoryStats&, std::span<const double>) const {
    return VantorelOutput{output::CategoryStats{category_layer_.summaries(), category_layer_.inner_sphere_stats()}};
}

VantorelPipeline::Answer VantorelPipeline::query(const PipelineQuery& q, std::span<const double> embedding) const {
    return std::visit([&](const auto& kind) { return answer(kind, embedding); }, q);
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
