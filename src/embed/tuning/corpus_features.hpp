#pragma once

#include <cstdint>
#include <string_view>

namespace vantorel::embed {

// The profile of a labelled corpus, as training records hold it.
struct CorpusFeatures {
    std::uint64_t n_items = 0;
    std::uint64_t n_categories = 0;
    std::uint64_t dim = 0;
    double mean_members_per_category = 0.0;
    double category_size_entropy = 0.0;
    double mean_sparsity = 0.0;
    double axis_utilization_entropy = 0.0;
    double noise_estimate = 0.0;
    double mean_intra_category_similarity = 0.0;
    double mean_inter_category_similarity = 0.0;
    double category_separation_ratio = 0.0;

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

    friend bool operator==(const CorpusFeatures&, const CorpusFeatures&) = default;
};

}  // namespace vantorel::embed
