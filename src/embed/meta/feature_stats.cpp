#include "embed/meta/feature_stats.hpp"

#include <cmath>

#include "core/numeric.hpp"

namespace vantorel::embed {

MetaFeatureVector meta_feature_vector(const CorpusFeatures& f) noexcept {
    return {static_cast<double>(f.n_items),
            static_cast<double>(f.n_categories),
            static_cast<double>(f.dim),
            f.mean_members_per_category,
            f.category_size_entropy,
            f.mean_sparsity,
            f.axis_utilization_entropy,
            f.noise_estimate,
            f.mean_intra_category_similarity,
            f.mean_inter_category_similarity};
}

FeatureStats unfitted_feature_stats() noexcept {
    FeatureStats s;
    s.stds.fill(1.0);
    return s;
}

MetaFeatureVector standardize(const MetaFeatureVector& x, const FeatureStats& stats) noexcept {
    MetaFeatureVector z{};
    for (std::size_t i = 0; i < kMetaFeatureCount; ++i) {
        // Written as "not above" so that a NaN deviation also scores 0.0.
        z[i] = stats.stds[i] > core::kEps ? (x[i] - stats.means[i]) / stats.stds[i] : 0.0;
    }
    return z;
}

double standardized_distance(const MetaFeatureVector& a, const MetaFeatureVector& b) noexcept {
    double sum = 0.0;
    for (std::size_t i = 0; i < kMetaFeatureCount; ++i) {
        const double d = a[i] - b[i];
        sum += d * d;
    }
    return std::sqrt(sum);
}

namespace meta_model {

FeatureStats compute_feature_stats(std::span<const MetaTrainingRecord> records) {
    if (records.empty()) return unfitted_feature_stats();
    const auto r = static_cast<double>(records.size());
    FeatureStats s;
    for (const auto& rec : records) {
        const auto x = meta_feature_vector(rec.features);
        for (std::size_t i = 0; i < kMetaFeatureCount; ++i) s.means[i] += x[i];
    }
    for (auto& m : s.means) m /= r;
    MetaFeatureVector var{};
    for (const auto& rec : records) {
        const auto x = meta_feature_vector(rec.features);
        for (std::size_t i = 0; i < kMetaFeatureCount; ++i) {
            const double d = x[i] - s.means[i];
            var[i] += d * d;
        }
    }
    for (std::size_t i = 0; i < kMetaFeatureCount; ++i) {
        const double sd = std::sqrt(var[i] / r);
        s.stds[i] = sd > core::kEps ? sd : 0.0;
    }
    return s;
}

}  // namespace meta_model

}  // namespace vantorel::embed
