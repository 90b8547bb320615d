#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "vectordb/dot_kernel.hpp"

namespace vantorel::vectordb {
namespace {

using Version = void (*)(const double*, const double*, std::size_t, std::size_t, double*);

// Every version built for this processor and runnable on it gives the portable
// version's bits, for lengths around the lane count and row counts around the
// group sizes.
TEST(DotKernel, EveryVersionMatchesThePortableOneBitForBit) {
    std::vector<Version> versions{&dot_rows};
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) versions.push_back(&dot_rows_avx2);
    if (__builtin_cpu_supports("avx512f")) versions.push_back(&dot_rows_avx512);
#endif

    std::mt19937_64 gen(17);
    std::normal_distribution<double> normal;
    std::uniform_int_distribution<int> exponent(-30, 30);
    for (const std::size_t dim : {0u, 1u, 5u, 7u, 8u, 9u, 16u, 23u, 383u, 384u, 385u}) {
        for (const std::size_t count : {1u, 2u, 3u, 4u, 5u, 7u, 9u, 64u}) {
            // Mixed magnitudes, so that a changed order of additions changes bits.
            std::vector<double> query(dim);
            std::vector<double> rows(dim * count);
            for (double& x : query) x = std::ldexp(normal(gen), exponent(gen));
            for (double& x : rows) x = std::ldexp(normal(gen), exponent(gen));
            std::vector<double> expected(count);
            dot_rows_portable(query.data(), rows.data(), dim, count, expected.data());
            for (const Version version : versions) {
                std::vector<double> got(count, -1.0);
                version(query.data(), rows.data(), dim, count, got.data());
                for (std::size_t r = 0; r < count; ++r) {
                    EXPECT_EQ(std::bit_cast<std::uint64_t>(got[r]), std::bit_cast<std::uint64_t>(expected[r]))
                        << "dim " << dim << ", row " << r << " of " << count;
                }
            }
        }
    }
}

}  // namespace
}  // namespace vantorel::vectordb
