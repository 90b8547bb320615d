#pragma once

#include "python/runtime/ref.hpp"

namespace vantorel::python {

// Releases the interpreter lock for the lifetime of the guard. Engine work
// inside must not touch Python objects; exceptions unwind through the guard,
// which takes the lock back before any handler runs.
class AllowThreads {
public:
    AllowThreads() noexcept : state_(PyEval_SaveThread()) {}
    ~AllowThreads() { PyEval_RestoreThread(state_); }
    AllowThreads(const AllowThreads&) = delete;
    AllowThreads& operator=(const AllowThreads&) = delete;

private:
    PyThreadState* state_;
};

// Runs `work` without the interpreter lock and returns its result.
template <class F>
auto without_gil(F&& work) {
    AllowThreads guard;
    return work();
}

}  // namespace vantorel::python
