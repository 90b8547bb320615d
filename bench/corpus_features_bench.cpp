// Time of the corpus profile on a corpus shaped like sentence embeddings
// (20,000 × 384, 20 categories): the whole extraction and its pair walk alone.
#include <algorithm>
#include <cstdio>

#include "bench_common.hpp"
#include "embed/tuning/corpus_features.hpp"
#include "embed/tuning/pairwise_similarity.hpp"

using namespace vantorel;
using bench::Clock;
using bench::ms_since;

int main() {
    const bench::LabelledCorpus corpus = bench::make_corpus(20000, 384, 20);
    const auto numbers = embed::CategoryNumbers::of(corpus.labels);

    double best_pairs = 1e300;
    double best_total = 1e300;
    embed::PairSimilarityMeans means;
    bool ok = true;
    for (int run = 0; run < 3; ++run) {
        auto start = Clock::now();
        means = embed::pair_similarity_means(corpus.rows, numbers);
        best_pairs = std::min(best_pairs, ms_since(start));
        start = Clock::now();
        ok = ok && embed::CorpusFeatures::extract(corpus.labels, corpus.rows).has_value();
        best_total = std::min(best_total, ms_since(start));
    }

    std::printf("corpus features, n=20000, d=384, 20 categories (best of 3)\n");
    std::printf("  pair similarity means           %8.1f ms  (intra %.6f, inter %.6f)\n", best_pairs, means.intra,
                means.inter);
    std::printf("  whole extraction                %8.1f ms\n", best_total);
    return ok ? 0 : 1;
}
