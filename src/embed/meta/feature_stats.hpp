#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "embed/store/meta_training_record.hpp"
#include "embed/tuning/corpus_features.hpp"

namespace vantorel::embed {

// The ten profile fields the meta-models compare, in field order;
// `category_separation_ratio` is left out.
inline constexpr std::size_t kMetaFeatureCount = 10;
using MetaFeatureVector = std::array<double, kMetaFeatureCount>;

[[nodiscard]] MetaFeatureVector meta_feature_vector(const CorpusFeatures& f) noexcept;

// Per-feature mean and population standard deviation over a set of training
// records; a deviation at or below machine epsilon is stored as 0.0.
struct FeatureStats {
    MetaFeatureVector means{};
    MetaFeatureVector stds{};

    friend bool operator==(const FeatureStats&, const FeatureStats&) = default;
};

// The statistics of a model holding no records.
[[nodiscard]] FeatureStats unfitted_feature_stats() noexcept;

// z-scores under `stats`; a feature whose deviation is not above machine
// epsilon (constant, or NaN) scores 0.0 so it never moves a distance.
[[nodiscard]] MetaFeatureVector standardize(const MetaFeatureVector& x, const FeatureStats& stats) noexcept;

// Euclidean distance of two standardised vectors, features summed in order.
[[nodiscard]] double standardized_distance(const MetaFeatureVector& a, const MetaFeatureVector& b) noexcept;

namespace meta_model {

// Means all 0.0 and deviations all 1.0 for no records.
[[nodiscard]] FeatureStats compute_feature_stats(std::span<const MetaTrainingRecord> records);

}  // namespace meta_model

}  // namespace vantorel::embed
