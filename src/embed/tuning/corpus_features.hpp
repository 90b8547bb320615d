#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/expected.hpp"
#include "embed/embedding.hpp"
#include "embed/json/json_error.hpp"
#include "embed/tuning/corpus_features_error.hpp"

namespace vantorel::embed {

// A fixed profile of a labelled corpus: its size, how evenly items spread over
// categories and embedding axes, how sparse and noisy the vectors are, and how
// well categories separate by cosine similarity. A component is active when its
// magnitude is strictly above the threshold (0.05 unless given).
struct CorpusFeatures {
    std::uint64_t n_items = 0;
    std::uint64_t n_categories = 0;
    std::uint64_t dim = 0;
    double mean_members_per_category = 0.0;
    double category_size_entropy = 0.0;
    // Share of components that are active (not inactive).
    double mean_sparsity = 0.0;
    double axis_utilization_entropy = 0.0;
    double noise_estimate = 0.0;
    double mean_intra_category_similarity = 0.0;
    double mean_inter_category_similarity = 0.0;
    double category_separation_ratio = 0.0;

    static constexpr double kDefaultThreshold = 0.05;

    // Dictionary and JSON forms: every field required, in this order.
    static constexpr std::string_view kRecordName = "CorpusFeatures";
    static constexpr bool kFieldsHaveDefaults = false;
    template <class Self, class F>
    static void fields(Self& self, F&& f) {
        f("n_items", self.n_items);
        f("n_categories", self.n_categories);
        f("dim", self.dim);
        f("mean_members_per_category", self.mean_members_per_category);
        f("category_size_entropy", self.category_size_entropy);
        f("mean_sparsity", self.mean_sparsity);
        f("axis_utilization_entropy", self.axis_utilization_entropy);
        f("noise_estimate", self.noise_estimate);
        f("mean_intra_category_similarity", self.mean_intra_category_similarity);
        f("mean_inter_category_similarity", self.mean_inter_category_similarity);
        f("category_separation_ratio", self.category_separation_ratio);
    }

    // The profile of item i = (categories[i], embeddings[i]). Lists of
    // different lengths are a broken invariant (callers check them); an empty
    // corpus, an empty first row or rows of different lengths are errors.
    static core::Expected<CorpusFeatures, CorpusFeaturesError> extract(const std::vector<std::string>& categories,
                                                                       const Corpus& embeddings);
    static core::Expected<CorpusFeatures, CorpusFeaturesError> extract_with_threshold(
        const std::vector<std::string>& categories, const Corpus& embeddings, double threshold);

    // Compact JSON, fields in declaration order; a non-finite value becomes null.
    [[nodiscard]] std::string to_json() const;
    // An object of all eleven fields or an array of them in order.
    static core::Expected<CorpusFeatures, JsonError> from_json(std::string_view text);

    friend bool operator==(const CorpusFeatures&, const CorpusFeatures&) = default;
};

}  // namespace vantorel::embed
