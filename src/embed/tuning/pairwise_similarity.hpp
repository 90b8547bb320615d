#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "embed/embedding.hpp"

namespace vantorel::embed {

// Mean cosine similarity of the unordered pairs whose labels are equal and of
// those whose labels differ; 0.0 for a side with no pair.
struct PairSimilarityMeans {
    double intra = 0.0;
    double inter = 0.0;
};

// Category number of every item (numbered by first appearance of the label,
// labels compared as exact byte strings) and the size of every category.
struct CategoryNumbers {
    std::vector<std::uint32_t> of_item;
    std::vector<std::uint64_t> sizes;

    static CategoryNumbers of(const std::vector<std::string>& categories);
};

// Both means in one walk over the pairs. Each pair's cosine is exactly
// `core::cosine_similarity`'s; up to 255 rows the sums run in pair order, from
// 256 rows they run in fixed blocks over the process pool, so the result never
// depends on the thread count.
// Rows of different lengths and a label count other than the row count are
// broken invariants.
PairSimilarityMeans pair_similarity_means(const Corpus& embeddings, const CategoryNumbers& categories);

// One of the two means: pairs whose labels differ when `across_categories`,
// else pairs whose labels are equal.
double pairwise_similarity(const Corpus& embeddings, const std::vector<std::string>& categories,
                           bool across_categories);

}  // namespace vantorel::embed
