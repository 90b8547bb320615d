#include "core/interrupt.hpp"

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
    if (state.poll.pending(state.poll.context)) throw Interrupted{};
}

}  // namespace vantorel::core
