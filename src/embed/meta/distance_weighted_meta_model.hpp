#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "core/expected.hpp"
#include "embed/config.hpp"
#include "embed/meta/meta_model.hpp"
#include "embed/meta/meta_model_error.hpp"

namespace vantorel::embed {

// A record kept by the distance-weighted scoring.
struct ScoredCandidate {
    std::size_t index = 0;  // into the fitted records
    double score = 0.0;     // best_score / (epsilon + distance)
    double distance = 0.0;

    friend bool operator==(const ScoredCandidate&, const ScoredCandidate&) = default;
};

// Predicts the configuration of the fitted record with the highest
// best_score / (epsilon + distance), weighing closeness against quality.
class DistanceWeightedMetaModel : public MetaModel {
public:
    static constexpr std::string_view kName = "distance_weighted";
    static constexpr std::string_view kTypeName = "DistanceWeightedMetaModel";
    static constexpr double kMinEpsilon = 1e-12;

    // Keeps max(epsilon, 1e-12), a NaN epsilon counting as the smaller.
    explicit DistanceWeightedMetaModel(double epsilon) noexcept;

    [[nodiscard]] double epsilon() const noexcept { return epsilon_; }

    // The records with a finite best score and a finite weighted score,
    // descending by score in IEEE total order; equal scores keep record order.
    [[nodiscard]] std::vector<ScoredCandidate> score_candidates(const CorpusFeatures& query) const;

    // The best configuration of the first-scored record, or of the first
    // record when none could be scored.
    [[nodiscard]] core::Expected<PipelineConfig, MetaModelError> predict(const CorpusFeatures& query) const;

private:
    double epsilon_;
};

}  // namespace vantorel::embed
