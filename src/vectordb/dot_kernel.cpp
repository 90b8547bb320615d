#include "vectordb/dot_kernel.hpp"

#include <cstring>

namespace vantorel::vectordb {
namespace {

constexpr std::size_t kLanes = 8;

// The product of one row, its eight lanes held in vectors of W doubles. One
// row at a time reads memory fastest: interleaving rows, which would overlap
// their chains of additions, measured slower on this memory-bound scan.
template <std::size_t W>
[[gnu::always_inline]] inline double dot_row(const double* query, const double* row, std::size_t dim) {
    // The typedef form: GCC drops this attribute from a dependent alias declaration.
    typedef double Vec __attribute__((vector_size(W * sizeof(double))));
    constexpr std::size_t kParts = kLanes / W;
    Vec acc[kParts] = {};
    std::size_t i = 0;
    for (; i + kLanes <= dim; i += kLanes) {
        // Unrolled whole, so that the sums stay in registers.
#pragma GCC unroll 8
        for (std::size_t p = 0; p < kParts; ++p) {
            Vec q;
            Vec x;
            std::memcpy(&q, query + i + p * W, sizeof q);
            std::memcpy(&x, row + i + p * W, sizeof x);
            acc[p] += q * x;
        }
    }
    double lane[kLanes];
    std::memcpy(lane, acc, sizeof lane);
    for (std::size_t j = 0; i < dim; ++i, ++j) lane[j] += query[i] * row[i];
    return ((lane[0] + lane[1]) + (lane[2] + lane[3])) + ((lane[4] + lane[5]) + (lane[6] + lane[7]));
}

template <std::size_t W>
[[gnu::always_inline]] inline void dot_rows_in(const double* query, const double* rows, std::size_t dim,
                                               std::size_t count, double* out) {
    for (std::size_t r = 0; r < count; ++r) out[r] = dot_row<W>(query, rows + r * dim, dim);
}

}  // namespace

void dot_rows_portable(const double* query, const double* rows, std::size_t dim, std::size_t count, double* out) {
    dot_rows_in<2>(query, rows, dim, count, out);
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void dot_rows_avx2(const double* query, const double* rows, std::size_t dim,
                                                   std::size_t count, double* out) {
    dot_rows_in<4>(query, rows, dim, count, out);
}

__attribute__((target("avx512f"))) void dot_rows_avx512(const double* query, const double* rows, std::size_t dim,
                                                        std::size_t count, double* out) {
    dot_rows_in<8>(query, rows, dim, count, out);
}

// Picked on first use rather than by the loader: a loader-run resolver
// executes before sanitizer runtimes are ready and crashes them.
void dot_rows(const double* query, const double* rows, std::size_t dim, std::size_t count, double* out) {
    using Version = void (*)(const double*, const double*, std::size_t, std::size_t, double*);
    static const Version chosen = [] {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx512f")) return &dot_rows_avx512;
        if (__builtin_cpu_supports("avx2")) return &dot_rows_avx2;
        return &dot_rows_portable;
    }();
    chosen(query, rows, dim, count, out);
}
#else
void dot_rows(const double* query, const double* rows, std::size_t dim, std::size_t count, double* out) {
    dot_rows_portable(query, rows, dim, count, out);
}
#endif

}  // namespace vantorel::vectordb
