// Per-query time of the in-memory store's brute-force search, k = 10 over
// 100,000 records of dimension 384, and the time to upsert them.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench_common.hpp"
#include "vectordb/in_memory_store.hpp"

namespace {

using namespace vantorel;
using bench::Clock;
using bench::ms_since;

}  // namespace

int main() {
    constexpr std::size_t n = 100000;
    constexpr std::size_t dim = 384;
    constexpr std::size_t queries = 30;
    const bench::LabelledCorpus corpus = bench::make_corpus(n + queries, dim, 20);

    std::vector<vectordb::VectorRecord> records(n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto row = corpus.rows[i];
        records[i] = {"r-" + std::to_string(i), {row.begin(), row.end()}, {{"category", corpus.labels[i]}}};
    }
    vectordb::InMemoryStore store("bench", dim);
    auto start = Clock::now();
    if (!store.upsert(records)) return 1;
    const double upsert = ms_since(start);

    std::vector<double> times;
    for (std::size_t q = 0; q < queries; ++q) {
        start = Clock::now();
        const auto hits = store.search(corpus.rows[n + q], 10);
        times.push_back(ms_since(start));
        if (!hits || hits->size() != 10) return 1;
    }
    std::sort(times.begin(), times.end());
    std::printf("upsert of %zu records (d = %zu): %.1f ms\n", n, dim, upsert);
    std::printf("search k = 10: median %.2f ms, best %.2f ms per query (%zu queries)\n", times[queries / 2],
                times.front(), queries);
    return 0;
}
