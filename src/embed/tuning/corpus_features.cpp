#include "embed/tuning/corpus_features.hpp"

#include <algorithm>
#include <cmath>

#include "core/invariant.hpp"
#include "core/numeric.hpp"
#include "embed/json/json_record.hpp"
#include "embed/tuning/pairwise_similarity.hpp"

namespace vantorel::embed {
namespace {

// Shannon entropy (natural logarithm) of counts summing to `total`, divided by
// ln(bins); zero counts add nothing.
double normalized_entropy(const std::vector<std::uint64_t>& counts, std::uint64_t total, std::size_t bins) {
    double h = 0.0;
    for (const std::uint64_t c : counts) {
        if (c == 0) continue;
        const double p = static_cast<double>(c) / static_cast<double>(total);
        h += -p * std::log(p);
    }
    return h / std::max(std::log(static_cast<double>(bins)), core::kEps);
}

// Active-component counts and the mean median of inactive magnitudes.
struct ComponentStats {
    std::vector<std::uint64_t> per_axis;
    std::uint64_t active = 0;
    double median_sum = 0.0;
    std::uint64_t medians = 0;
};

ComponentStats component_stats(const Corpus& embeddings, std::size_t dim, double threshold) {
    ComponentStats stats;
    stats.per_axis.assign(dim, 0);
    std::vector<double> inactive;
    inactive.reserve(dim);
    for (std::size_t i = 0; i < embeddings.size(); ++i) {
        const auto row = embeddings[i];
        inactive.clear();
        for (std::size_t j = 0; j < row.size(); ++j) {
            const double a = std::abs(row[j]);
            if (a > threshold) {
                ++stats.per_axis[j];
                ++stats.active;
            } else {
                inactive.push_back(a);
            }
        }
        if (inactive.empty()) continue;
        // The element a sort by IEEE total order would put at len / 2: the
        // upper middle for an even count.
        const auto middle = inactive.begin() + static_cast<std::ptrdiff_t>(inactive.size() / 2);
        std::nth_element(inactive.begin(), middle, inactive.end(), core::total_order_less);
        stats.median_sum += *middle;
        ++stats.medians;
    }
    return stats;
}

}  // namespace

core::Expected<CorpusFeatures, CorpusFeaturesError> CorpusFeatures::extract(
    const std::vector<std::string>& categories, const Corpus& embeddings) {
    return extract_with_threshold(categories, embeddings, kDefaultThreshold);
}

core::Expected<CorpusFeatures, CorpusFeaturesError> CorpusFeatures::extract_with_threshold(
    const std::vector<std::string>& categories, const Corpus& embeddings, double threshold) {
    core::check_equal(categories.size(), embeddings.size(), "categories and embeddings must have matching length");
    const std::size_t n = embeddings.size();
    if (n == 0) return core::Unexpected{CorpusFeaturesError{CorpusFeaturesError::EmptyCorpus{}}};
    const std::size_t dim = embeddings[0].size();
    if (dim == 0) return core::Unexpected{CorpusFeaturesError{CorpusFeaturesError::ZeroDimension{}}};
    if (const std::size_t ragged = embeddings.first_ragged_row(); ragged < n) {
        return core::Unexpected{
            CorpusFeaturesError{CorpusFeaturesError::RaggedEmbedding{ragged, embeddings[ragged].size(), dim}}};
    }

    const CategoryNumbers numbers = CategoryNumbers::of(categories);
    const std::size_t k = numbers.sizes.size();
    const ComponentStats stats = component_stats(embeddings, dim, threshold);
    const PairSimilarityMeans means = pair_similarity_means(embeddings, numbers);

    CorpusFeatures f;
    f.n_items = n;
    f.n_categories = k;
    f.dim = dim;
    f.mean_members_per_category = static_cast<double>(n) / static_cast<double>(std::max<std::size_t>(k, 1));
    f.category_size_entropy = k >= 2 ? normalized_entropy(numbers.sizes, n, k) : 0.0;
    f.mean_sparsity = static_cast<double>(stats.active) / static_cast<double>(n * dim);
    f.axis_utilization_entropy =
        dim != 1 && stats.active > 0 ? normalized_entropy(stats.per_axis, stats.active, dim) : 0.0;
    f.noise_estimate = stats.medians == 0 ? 0.0 : stats.median_sum / static_cast<double>(stats.medians);
    f.mean_intra_category_similarity = means.intra;
    f.mean_inter_category_similarity = means.inter;
    f.category_separation_ratio = means.intra / std::max(std::abs(means.inter), 1e-12);
    return f;
}

std::string CorpusFeatures::to_json() const { return write_json_text(*this); }

core::Expected<CorpusFeatures, JsonError> CorpusFeatures::from_json(std::string_view text) {
    return read_json_text<CorpusFeatures>(text);
}

}  // namespace vantorel::embed
