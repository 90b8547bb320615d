#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>

#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/partitioner.h>
#include <oneapi/tbb/task_group.h>
#include <oneapi/tbb/task_arena.h>

#include "core/interrupt.hpp"

namespace vantorel::core {

// Runs body(block, begin, end) over the fixed blocks [b·size, min(n, (b+1)·size))
// of [0, n), in parallel. Block boundaries depend on n and size only, never on
// the number of threads, so per-block results joined in block order are the
// same on any machine.
//
// The blocks are handed out in rounds. A round stops taking new blocks when the
// calling thread's interrupt poll is due; the calling thread polls before each
// round, outside the parallel region (never inside a task), which also moves
// the due time past the next round's start. Without a poll the whole loop is
// one round.
template <class Body>
void for_each_block(std::size_t n, std::size_t size, const Body& body) {
    using Clock = std::chrono::steady_clock;
    const std::size_t blocks = (n + size - 1) / size;
    std::atomic<std::size_t> next{0};
    for (std::size_t done = 0; done < blocks;) {
        check_interrupt();
        const Clock::time_point due = poll_due();
        const bool timed = due != Clock::time_point::max();
        // A failing block cancels the group; the others then take no new block.
        const auto drain = [&](std::size_t) {
            while ((!timed || Clock::now() < due) && !tbb::is_current_task_group_canceling()) {
                const std::size_t b = next.fetch_add(1, std::memory_order_relaxed);
                if (b >= blocks) return;
                body(b, b * size, std::min(n, (b + 1) * size));
            }
        };
        const auto workers = static_cast<std::size_t>(std::max(1, tbb::this_task_arena::max_concurrency()));
        {
            const PollPause pause;
            tbb::parallel_for(std::size_t{0}, std::min(workers, blocks - done), drain, tbb::simple_partitioner{});
        }
        done = std::min(next.load(std::memory_order_relaxed), blocks);
        next.store(done, std::memory_order_relaxed);
    }
}

// Runs body(i) for every i in [0, n), one task per index.
template <class Body>
void for_each_index(std::size_t n, const Body& body) {
    for_each_block(n, 1, [&body](std::size_t i, std::size_t, std::size_t) { body(i); });
}

}  // namespace vantorel::core
