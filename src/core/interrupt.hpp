#pragma once

#include <chrono>
#include <cstdint>
#include <exception>

namespace vantorel::core {

// Long engine work stops at its next check once the poll of its thread reports
// a pending interrupt (Ctrl-C from Python). The engine knows nothing of who
// installed the poll; the caller that installed it turns `Interrupted` into its
// own report and drops whatever the interrupted call had built.
class Interrupted : public std::exception {
public:
    [[nodiscard]] const char* what() const noexcept override { return "interrupted"; }
};

// Returns true when the work must stop. It may block, and it may unwind the
// thread (a thread ended by its runtime): callers let such an unwind through.
struct InterruptPoll {
    bool (*pending)(void* context);
    void* context;
};

// Installs `poll` for the current thread until the scope ends (the previous one
// comes back). The first poll is due one interval after the first check.
class InterruptScope {
public:
    explicit InterruptScope(InterruptPoll poll) noexcept;
    ~InterruptScope();
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

private:
    InterruptPoll previous_;
    std::chrono::steady_clock::time_point previous_due_;
};

// Keeps the current thread from polling while it runs parallel tasks: a poll
// there could unwind through the task scheduler.
class PollPause {
public:
    PollPause() noexcept;
    ~PollPause();
    PollPause(const PollPause&) = delete;
    PollPause& operator=(const PollPause&) = delete;
};

// Polls when a poll is installed, not paused and due (at most every
// kPollInterval); throws Interrupted when it reports an interrupt. A clock read
// at most otherwise.
void check_interrupt();

// When the current thread's next poll is due (starting the interval if no
// check has yet); time_point::max() when it never polls (nothing installed, or
// paused).
std::chrono::steady_clock::time_point poll_due() noexcept;

inline constexpr std::chrono::milliseconds kPollInterval{50};

// For loops whose steps take far less than a clock read: checks once every
// kSteps steps.
class InterruptTicker {
public:
    static constexpr std::uint32_t kSteps = 1024;

    void tick() {
        if (++steps_ % kSteps == 0) check_interrupt();
    }

private:
    std::uint32_t steps_ = 0;
};

}  // namespace vantorel::core
