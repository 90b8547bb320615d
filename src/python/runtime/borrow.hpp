#pragma once

#include <atomic>
#include <cstdint>

namespace vantorel::python {

// Per-instance borrow state: 0 free, n > 0 shared borrows, -1 exclusive. A
// conflicting borrow fails at once; it never waits. Atomic because borrows are
// released after work done without the interpreter lock.
class BorrowFlag {
public:
    void acquire_shared();
    void release_shared() noexcept { state_.fetch_sub(1, std::memory_order_release); }
    void acquire_exclusive();
    void release_exclusive() noexcept { state_.store(0, std::memory_order_release); }

private:
    std::atomic<std::int64_t> state_{0};
};

class SharedBorrow {
public:
    explicit SharedBorrow(BorrowFlag& flag) : flag_(&flag) { flag.acquire_shared(); }
    SharedBorrow(SharedBorrow&& other) noexcept : flag_(other.flag_) { other.flag_ = nullptr; }
    SharedBorrow(const SharedBorrow&) = delete;
    SharedBorrow& operator=(const SharedBorrow&) = delete;
    SharedBorrow& operator=(SharedBorrow&&) = delete;
    ~SharedBorrow() {
        if (flag_ != nullptr) flag_->release_shared();
    }

private:
    BorrowFlag* flag_;
};

class ExclusiveBorrow {
public:
    explicit ExclusiveBorrow(BorrowFlag& flag) : flag_(&flag) { flag.acquire_exclusive(); }
    ExclusiveBorrow(const ExclusiveBorrow&) = delete;
    ExclusiveBorrow& operator=(const ExclusiveBorrow&) = delete;
    ~ExclusiveBorrow() { flag_->release_exclusive(); }

private:
    BorrowFlag* flag_;
};

}  // namespace vantorel::python
