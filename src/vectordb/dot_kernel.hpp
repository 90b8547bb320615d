#pragma once

#include <cstddef>

namespace vantorel::vectordb {

// Dot products of one query with `count` rows of length `dim` stored
// row-major from `rows`, written to out[0, count). Each product keeps eight
// running sums over interleaved lanes (element i goes to lane i mod 8), joined
// pairwise as ((0+1)+(2+3))+((4+5)+(6+7)): independent chains let the vector
// unit work, and the fixed order makes every product a function of its two
// vectors alone, the same bits in every version below.
void dot_rows(const double* query, const double* rows, std::size_t dim, std::size_t count, double* out);

// The versions dot_rows picks from on first use, by what the processor
// offers; callers other than tests use dot_rows. The AVX versions exist only
// where the compiler targets x86-64 and need a processor that has them;
// elsewhere the portable version is the only one.
void dot_rows_portable(const double* query, const double* rows, std::size_t dim, std::size_t count, double* out);
#if defined(__x86_64__)
void dot_rows_avx2(const double* query, const double* rows, std::size_t dim, std::size_t count, double* out);
void dot_rows_avx512(const double* query, const double* rows, std::size_t dim, std::size_t count, double* out);
#endif

}  // namespace vantorel::vectordb
