#pragma once

#include <algorithm>
#include <cstddef>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>

namespace vantorel::core {

// Runs body(block, begin, end) over the fixed blocks [b·size, min(n, (b+1)·size))
// of [0, n), in parallel. Block boundaries depend on n and size only, never on
// the number of threads, so per-block results joined in block order are the
// same on any machine.
template <class Body>
void for_each_block(std::size_t n, std::size_t size, const Body& body) {
    const std::size_t blocks = (n + size - 1) / size;
    tbb::parallel_for(
        tbb::blocked_range<std::size_t>(0, blocks, 1),
        [&body, n, size](const tbb::blocked_range<std::size_t>& range) {
            for (std::size_t b = range.begin(); b != range.end(); ++b) {
                body(b, b * size, std::min(n, (b + 1) * size));
            }
        },
        tbb::simple_partitioner{});
}

// Runs body(i) for every i in [0, n), one task per index.
template <class Body>
void for_each_index(std::size_t n, const Body& body) {
    for_each_block(n, 1, [&body](std::size_t i, std::size_t, std::size_t) { body(i); });
}

}  // namespace vantorel::core
