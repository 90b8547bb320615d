#include "python/runtime/borrow.hpp"

#include "python/runtime/errors.hpp"

namespace vantorel::python {

void BorrowFlag::acquire_shared() {
    std::int64_t current = state_.load(std::memory_order_relaxed);
    do {
        if (current < 0) raise_runtime_error("Already mutably borrowed");
    } while (!state_.compare_exchange_weak(current, current + 1, std::memory_order_acquire,
                                           std::memory_order_relaxed));
}

void BorrowFlag::acquire_exclusive() {
    std::int64_t expected = 0;
    if (!state_.compare_exchange_strong(expected, -1, std::memory_order_acquire, std::memory_order_relaxed)) {
        raise_runtime_error("Already borrowed");
    }
}

}  // namespace vantorel::python
