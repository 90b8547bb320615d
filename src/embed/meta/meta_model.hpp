#pragma once

#include <vector>

#include "embed/meta/feature_stats.hpp"
#include "embed/store/meta_training_record.hpp"

namespace vantorel::embed {

// What both meta-models share: the records of the last fit and their feature
// statistics. Each model adds its own `predict`; callers hold the concrete
// types, never this base. A plain value: `fit` needs exclusive access,
// reading may happen from several threads at once.
class MetaModel {
public:
    // Replaces the records and statistics whole; an empty list returns the
    // model to its new state, unable to predict.
    void fit(std::vector<MetaTrainingRecord> records);

    [[nodiscard]] const std::vector<MetaTrainingRecord>& records() const noexcept { return records_; }
    [[nodiscard]] const MetaFeatureVector& feature_means() const noexcept { return stats_.means; }
    [[nodiscard]] const MetaFeatureVector& feature_stds() const noexcept { return stats_.stds; }

protected:
    MetaModel() = default;
    ~MetaModel() = default;
    MetaModel(const MetaModel&) = default;
    MetaModel(MetaModel&&) noexcept = default;
    MetaModel& operator=(const MetaModel&) = default;
    MetaModel& operator=(MetaModel&&) noexcept = default;

    // Standardised under the fitted statistics; records are standardised
    // afresh on every call, nothing is cached between predictions.
    [[nodiscard]] MetaFeatureVector standardized_query(const CorpusFeatures& query) const noexcept;
    [[nodiscard]] double distance_to(const MetaFeatureVector& query, const MetaTrainingRecord& record) const noexcept;

private:
    std::vector<MetaTrainingRecord> records_;
    FeatureStats stats_ = unfitted_feature_stats();
};

}  // namespace vantorel::embed
