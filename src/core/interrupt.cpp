#include "core/interrupt.hpp"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

namespace vantorel::core {
namespace {

using Clock = std::chrono::steady_clock;

// Not started yet: the first check starts the first interval, so installing a
// poll costs no clock read and short calls never poll.
constexpr Clock::time_point kUnstarted = Clock::time_point::min();

struct PollState {
    InterruptPoll poll{nullptr, nullptr};
    Clock::time_point due = kUnstarted;
    unsigned paused = 0;
};

thread_local PollState state;

bool polling() noexcept { return state.poll.pending != nullptr && state.paused == 0; }

// A poll may end the thread by a forced unwind started in a runtime built
// without AddressSanitizer (the interpreter ending a daemon thread at exit).
// The sanitizer clears the stack shadow of the frames a throw or longjmp
// discards, but not of those a forced unwind discards: this frame's stale
// redzones then fail the sanitizer's own check of its locals in the first
// cleanup above. Clearing here, as a throw would, spares that false report;
// every frame above is being discarded anyway.
bool poll_pending() {
#if defined(__SANITIZE_ADDRESS__)
    try {
        return state.poll.pending(state.poll.context);
    } catch (...) {
        __asan_handle_no_return();
        throw;
    }
#else
    return state.poll.pending(state.poll.context);
#endif
}

}  // namespace

InterruptScope::InterruptScope(InterruptPoll poll) noexcept : previous_(state.poll), previous_due_(state.due) {
    state.poll = poll;
    state.due = kUnstarted;
}

InterruptScope::~InterruptScope() {
    state.poll = previous_;
    state.due = previous_due_;
}

PollPause::PollPause() noexcept { ++state.paused; }

PollPause::~PollPause() { --state.paused; }

Clock::time_point poll_due() noexcept {
    if (!polling()) return Clock::time_point::max();
    if (state.due == kUnstarted) state.due = Clock::now() + kPollInterval;
    return state.due;
}

void check_interrupt() {
    if (!polling()) return;
    const Clock::time_point now = Clock::now();
    if (state.due == kUnstarted) {
        state.due = now + kPollInterval;
        return;
    }
    if (now < state.due) return;
    state.due = now + kPollInterval;
    if (poll_pending()) throw Interrupted{};
}

}  // namespace vantorel::core
