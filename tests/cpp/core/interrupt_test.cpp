#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "core/interrupt.hpp"
#include "core/parallel.hpp"

namespace vantorel::core {
namespace {

using namespace std::chrono_literals;

thread_local bool in_block = false;

struct Poller {
    std::thread::id owner = std::this_thread::get_id();
    int polls = 0;
    int stop_at = -1;  // the poll that reports an interrupt; never when negative
    bool wrong_place = false;

    static bool pending(void* self) {
        auto& p = *static_cast<Poller*>(self);
        p.wrong_place |= in_block || std::this_thread::get_id() != p.owner;
        return ++p.polls == p.stop_at;
    }
    InterruptPoll poll() { return {pending, this}; }
};

// Runs slow blocks, counting how often each one ran.
std::vector<int> run_blocks(std::size_t blocks, std::chrono::microseconds each) {
    std::vector<std::atomic<int>> runs(blocks);
    for_each_index(blocks, [&](std::size_t b) {
        in_block = true;
        std::this_thread::sleep_for(each);
        runs[b].fetch_add(1);
        in_block = false;
    });
    return {runs.begin(), runs.end()};
}

TEST(Interrupt, ParallelBlocksPollOnlyFromTheCallerBetweenRounds) {
    Poller p;
    const InterruptScope scope(p.poll());
    // A poll already overdue when the loop starts.
    check_interrupt();
    std::this_thread::sleep_for(kPollInterval + 10ms);
    const std::vector<int> runs = run_blocks(400, 2ms);
    EXPECT_EQ(runs, std::vector<int>(400, 1));
    EXPECT_GE(p.polls, 1);
    EXPECT_FALSE(p.wrong_place);
}

TEST(Interrupt, AReportedInterruptStopsLoopsAndScopesNest) {
    Poller outer{.stop_at = 1};
    const InterruptScope outer_scope(outer.poll());
    {
        Poller inner{.stop_at = 2};
        const InterruptScope inner_scope(inner.poll());
        EXPECT_THROW(run_blocks(100000, 100us), Interrupted);
        EXPECT_EQ(inner.polls, 2);
        EXPECT_FALSE(inner.wrong_place);
    }
    // The outer poll is back, paused polls never run, and a plain loop stops too.
    {
        const PollPause pause;
        const auto until = std::chrono::steady_clock::now() + 2 * kPollInterval;
        while (std::chrono::steady_clock::now() < until) check_interrupt();
    }
    EXPECT_EQ(outer.polls, 0);
    EXPECT_THROW(
        for (;;) {
            check_interrupt();
            std::this_thread::sleep_for(1ms);
        },
        Interrupted);
    EXPECT_EQ(outer.polls, 1);
}

TEST(Interrupt, NothingInstalledRunsEverythingInOneRound) {
    const auto until = std::chrono::steady_clock::now() + 2 * kPollInterval;
    while (std::chrono::steady_clock::now() < until) check_interrupt();
    EXPECT_EQ(poll_due(), std::chrono::steady_clock::time_point::max());
    EXPECT_EQ(run_blocks(1000, 0us), std::vector<int>(1000, 1));
}

// Ends its thread at the given poll, as the interpreter ends a daemon thread
// that takes its lock back at exit. The call goes through a pointer, as from
// a runtime built without sanitizers: the compiler cannot see it as no-return.
struct ThreadEnder {
    int end_at;
    int polls = 0;
    int cleanups = 0;
    bool returned = false;

    static bool pending(void* self) {
        static void (*volatile end_thread)(void*) = pthread_exit;
        auto& e = *static_cast<ThreadEnder*>(self);
        if (++e.polls == e.end_at) end_thread(nullptr);
        return false;
    }
};

struct CountsCleanup {
    int& count;
    ~CountsCleanup() { ++count; }
};

// Runs loop(ender) on a thread of its own that polls `ender`, and joins it.
template <class Loop>
void run_until_ended(ThreadEnder& ender, const Loop& loop) {
    struct Run {
        ThreadEnder& ender;
        const Loop& loop;
    } run{ender, loop};
    const auto body = [](void* arg) -> void* {
        auto& r = *static_cast<Run*>(arg);
        const InterruptScope scope({ThreadEnder::pending, &r.ender});
        const CountsCleanup outer{r.ender.cleanups};
        r.loop(r.ender);
        r.ender.returned = true;
        return nullptr;
    };
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, nullptr, body, &run), 0);
    pthread_join(thread, nullptr);
}

// The unwind runs the cleanups of every frame it leaves; under the address
// sanitizer it must also leave no stale stack poisoning for them to trip on.
TEST(Interrupt, APollThatEndsItsThreadUnwindsThroughLoopsAndTheirCleanups) {
    ThreadEnder plain{.end_at = 2};
    run_until_ended(plain, [](ThreadEnder& e) {
        const CountsCleanup inner{e.cleanups};
        for (;;) {
            check_interrupt();
            std::this_thread::sleep_for(1ms);
        }
    });
    ThreadEnder blocks{.end_at = 2};
    run_until_ended(blocks, [](ThreadEnder& e) {
        const CountsCleanup inner{e.cleanups};
        for_each_index(1u << 16, [](std::size_t) { std::this_thread::sleep_for(100us); });
    });
    for (const ThreadEnder* e : {&plain, &blocks}) {
        EXPECT_EQ(e->polls, 2);
        EXPECT_EQ(e->cleanups, 2);
        EXPECT_FALSE(e->returned);
    }
}

}  // namespace
}  // namespace vantorel::core
