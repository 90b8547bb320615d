#pragma once

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

#include "core/interrupt.hpp"
#include "python/runtime/errors.hpp"
#include "python/runtime/ref.hpp"

namespace vantorel::python {

namespace gil_detail {

// Interrupt polls for the engine's long loops: run the interpreter's signal
// handlers (Ctrl-C raises KeyboardInterrupt there) and report whether one
// raised. The second one takes the lock for the check and gives it back.
bool signal_raised_with_gil(void* unused);
bool signal_raised_without_gil(void* thread_state);

}  // namespace gil_detail

// Runs `work` with the interpreter lock held, letting the engine's long loops
// stop on Ctrl-C (they throw core::Interrupted with KeyboardInterrupt set).
template <class F>
decltype(auto) with_interrupts(F&& work) {
    const core::InterruptScope scope({gil_detail::signal_raised_with_gil, nullptr});
    return std::forward<F>(work)();
}

// Runs `work` without the interpreter lock and returns its result; engine work
// inside must not touch Python objects, and stops on Ctrl-C like above.
//
// The lock is taken back by a plain call, never in a destructor: at
// interpreter exit, taking it ends a daemon thread by unwinding its stack
// (abi::__forced_unwind), which must travel through here untouched. Other
// exceptions wait until the lock is back, so every handler runs with it.
template <class F>
auto without_gil(F&& work) {
    std::optional<std::invoke_result_t<F&>> result;
    std::exception_ptr failure;
    PyThreadState* state = PyEval_SaveThread();
    try {
        const core::InterruptScope scope({gil_detail::signal_raised_without_gil, &state});
        result.emplace(work());
    } catch (...) {
        pass_thread_end();
        failure = std::current_exception();
    }
    PyEval_RestoreThread(state);
    if (failure) std::rethrow_exception(failure);
    return std::move(*result);
}

}  // namespace vantorel::python
