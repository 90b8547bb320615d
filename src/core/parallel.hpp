#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <vector>

#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/partitioner.h>

#include "core/interrupt.hpp"

namespace vantorel::core {

namespace parallel_detail {

// each(i) for i in [0, count), one task per index, with the calling thread's
// interrupt polls paused while it runs tasks.
template <class Each>
void run_tasks(std::size_t count, const Each& each) {
    const PollPause pause;
    tbb::parallel_for(
        tbb::blocked_range<std::size_t>(0, count, 1),
        [&each](const tbb::blocked_range<std::size_t>& range) {
            for (std::size_t i = range.begin(); i != range.end(); ++i) each(i);
        },
        tbb::simple_partitioner{});
}

}  // namespace parallel_detail

// Runs body(block, begin, end) over the fixed blocks [b·size, min(n, (b+1)·size))
// of [0, n), in parallel. Block boundaries depend on n and size only, never on
// the number of threads, so per-block results joined in block order are the
// same on any machine.
//
// When the calling thread has an interrupt poll, the blocks run in rounds: a
// block whose task starts after the poll is due waits for the next round, and
// between rounds the calling thread polls, outside the parallel region (a poll
// never runs inside a task). Each round runs at least its first block.
template <class Body>
void for_each_block(std::size_t n, std::size_t size, const Body& body) {
    using Clock = std::chrono::steady_clock;
    const std::size_t blocks = (n + size - 1) / size;
    const auto run = [&body, n, size](std::size_t b) { body(b, b * size, std::min(n, (b + 1) * size)); };
    check_interrupt();
    Clock::time_point due = poll_due();
    if (due == Clock::time_point::max()) {
        parallel_detail::run_tasks(blocks, run);
        return;
    }
    std::vector<std::size_t> pending(blocks);
    for (std::size_t b = 0; b < blocks; ++b) pending[b] = b;
    std::vector<char> deferred(blocks, 0);
    while (!pending.empty()) {
        parallel_detail::run_tasks(pending.size(), [&](std::size_t i) {
            if (i != 0 && Clock::now() >= due) {
                deferred[i] = 1;
                return;
            }
            run(pending[i]);
        });
        std::size_t kept = 0;
        for (std::size_t i = 0; i < pending.size(); ++i) {
            if (deferred[i] != 0) pending[kept++] = pending[i];
            deferred[i] = 0;
        }
        pending.resize(kept);
        check_interrupt();
        due = poll_due();
    }
}

// Runs body(i) for every i in [0, n), one task per index.
template <class Body>
void for_each_index(std::size_t n, const Body& body) {
    for_each_block(n, 1, [&body](std::size_t i, std::size_t, std::size_t) { body(i); });
}

}  // namespace vantorel::core
