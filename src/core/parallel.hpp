#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>

#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/partitioner.h>
#include <oneapi/tbb/task_arena.h>

#include "core/interrupt.hpp"

namespace vantorel::core {

namespace parallel_detail {

// each(i) for i in [first, last), one task per index, with the calling
// thread's interrupt polls paused while it runs tasks.
template <class Each>
void run_tasks(std::size_t first, std::size_t last, const Each& each) {
    const PollPause pause;
    tbb::parallel_for(
        tbb::blocked_range<std::size_t>(first, last, 1),
        [&each](const tbb::blocked_range<std::size_t>& range) {
            for (std::size_t i = range.begin(); i != range.end(); ++i) each(i);
        },
        tbb::simple_partitioner{});
}

}  // namespace parallel_detail

// The threads a parallel loop started here may use.
inline std::size_t thread_count() {
    return static_cast<std::size_t>(std::max(1, tbb::this_task_arena::max_concurrency()));
}

// Runs body(block, begin, end) over the fixed blocks [b·size, min(n, (b+1)·size))
// of [0, n), in parallel. Block boundaries depend on n and size only, never on
// the number of threads, so per-block results joined in block order are the
// same on any machine.
//
// When the calling thread has an interrupt poll, the blocks run in rounds of
// consecutive blocks and the calling thread polls between rounds, outside the
// parallel region (a poll never runs inside a task). Rounds start one block
// per thread wide and double while they end well within the poll interval,
// so a round lasts about one interval once blocks are known to be quick.
template <class Body>
void for_each_block(std::size_t n, std::size_t size, const Body& body) {
    using Clock = std::chrono::steady_clock;
    const std::size_t blocks = n == 0 ? 0 : (n - 1) / size + 1;
    const auto run = [&body, n, size](std::size_t b) { body(b, b * size, std::min(n, b * size + size)); };
    check_interrupt();
    if (poll_due() == Clock::time_point::max()) {
        parallel_detail::run_tasks(0, blocks, run);
        return;
    }
    const std::size_t threads = thread_count();
    std::size_t width = threads;
    for (std::size_t first = 0; first < blocks;) {
        const std::size_t last = first + std::min(width, blocks - first);
        const Clock::time_point started = Clock::now();
        parallel_detail::run_tasks(first, last, run);
        const Clock::duration took = Clock::now() - started;
        first = last;
        check_interrupt();
        if (took < kPollInterval / 4 && width < blocks) {
            width *= 2;
        } else if (took > kPollInterval && width > threads) {
            width /= 2;
        }
    }
}

// Runs body(i) for every i in [0, n), one task per index.
template <class Body>
void for_each_index(std::size_t n, const Body& body) {
    for_each_block(n, 1, [&body](std::size_t i, std::size_t, std::size_t) { body(i); });
}

}  // namespace vantorel::core
