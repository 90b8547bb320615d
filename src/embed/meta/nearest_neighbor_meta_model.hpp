#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "core/expected.hpp"
#include "embed/config.hpp"
#include "embed/meta/meta_model.hpp"
#include "embed/meta/meta_model_error.hpp"

namespace vantorel::embed {

// A record's place in the nearest-neighbour ranking.
struct RankedCandidate {
    std::size_t index = 0;  // into the fitted records
    double distance = 0.0;

    friend bool operator==(const RankedCandidate&, const RankedCandidate&) = default;
};

// Predicts the configuration of the fitted record whose standardised feature
// vector lies closest to the query's.
class NearestNeighborMetaModel : public MetaModel {
public:
    static constexpr std::string_view kName = "nearest_neighbor";
    static constexpr std::string_view kTypeName = "NearestNeighborMetaModel";

    // Every record, ascending by distance in IEEE total order; equal
    // distances keep record order.
    [[nodiscard]] std::vector<RankedCandidate> rank_candidates(const CorpusFeatures& query) const;

    // The best configuration of the first-ranked record.
    [[nodiscard]] core::Expected<PipelineConfig, MetaModelError> predict(const CorpusFeatures& query) const;
};

}  // namespace vantorel::embed
