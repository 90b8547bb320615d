#include "embed/meta/distance_weighted_meta_model.hpp"

#include <algorithm>
#include <cmath>

#include "core/numeric.hpp"

namespace vantorel::embed {

DistanceWeightedMetaModel::DistanceWeightedMetaModel(double epsilon) noexcept
    : epsilon_(epsilon > kMinEpsilon ? epsilon : kMinEpsilon) {}

std::vector<ScoredCandidate> DistanceWeightedMetaModel::score_candidates(const CorpusFeatures& query) const {
    const auto q = standardized_query(query);
    std::vector<ScoredCandidate> scored;
    scored.reserve(records().size());
    for (std::size_t i = 0; i < records().size(); ++i) {
        const double best = records()[i].best_score;
        if (!std::isfinite(best)) continue;
        const double d = distance_to(q, records()[i]);
        const double score = best / (epsilon_ + d);
        if (!std::isfinite(score)) continue;
        scored.push_back({i, score, d});
    }
    std::stable_sort(scored.begin(), scored.end(), [](const ScoredCandidate& a, const ScoredCandidate& b) {
        return core::total_order_less(b.score, a.score);
    });
    return scored;
}

core::Expected<PipelineConfig, MetaModelError> DistanceWeightedMetaModel::predict(const CorpusFeatures& query) const {
    if (records().empty()) return core::Unexpected{MetaModelError{MetaModelError::PredictBeforeFit{kTypeName}}};
    const auto scored = score_candidates(query);
    return records()[scored.empty() ? 0 : scored.front().index].best_config;
}

}  // namespace vantorel::embed
