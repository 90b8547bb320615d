#include "embed/meta/nearest_neighbor_meta_model.hpp"

#include <algorithm>

#include "core/numeric.hpp"

namespace vantorel::embed {

std::vector<RankedCandidate> NearestNeighborMetaModel::rank_candidates(const CorpusFeatures& query) const {
    const auto q = standardized_query(query);
    std::vector<RankedCandidate> ranked;
    ranked.reserve(records().size());
    for (std::size_t i = 0; i < records().size(); ++i) ranked.push_back({i, distance_to(q, records()[i])});
    std::stable_sort(ranked.begin(), ranked.end(), [](const RankedCandidate& a, const RankedCandidate& b) {
        return core::total_order_less(a.distance, b.distance);
    });
    return ranked;
}

core::Expected<PipelineConfig, MetaModelError> NearestNeighborMetaModel::predict(const CorpusFeatures& query) const {
    if (records().empty()) return core::Unexpected{MetaModelError{MetaModelError::PredictBeforeFit{kTypeName}}};
    return records()[rank_candidates(query).front().index].best_config;
}

}  // namespace vantorel::embed
