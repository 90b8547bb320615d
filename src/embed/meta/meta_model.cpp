#include "embed/meta/meta_model.hpp"

#include <utility>

namespace vantorel::embed {

void MetaModel::fit(std::vector<MetaTrainingRecord> records) {
    stats_ = meta_model::compute_feature_stats(records);
    records_ = std::move(records);
}

MetaFeatureVector MetaModel::standardized_query(const CorpusFeatures& query) const noexcept {
    return standardize(meta_feature_vector(query), stats_);
}

double MetaModel::distance_to(const MetaFeatureVector& query, const MetaTrainingRecord& record) const noexcept {
    return standardized_distance(query, standardize(meta_feature_vector(record.features), stats_));
}

}  // namespace vantorel::embed
