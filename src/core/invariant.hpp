#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>

namespace vantorel::core {

// Thrown when an internal precondition is broken. Callers validate user input
// before it can reach one of these, so reaching it means a bug; the Python
// module turns it into PanicException.
class InvariantViolation : public std::logic_error {
public:
    explicit InvariantViolation(const std::string& message)
        : std::logic_error(message), message_(std::make_shared<const std::string>(message)) {}

    // The whole text: what() ends at the first NUL byte. Shared, so that
    // copying the exception cannot throw.
    [[nodiscard]] const std::string& message() const noexcept { return *message_; }

private:
    std::shared_ptr<const std::string> message_;
};

[[noreturn]] void stop(const std::string& message);

// Equality assertion naming both sides, e.g. two sequence lengths.
void check_equal(std::size_t left, std::size_t right, const char* what);

// Bounds check for an index computed inside the engine.
void check_index(std::size_t index, std::size_t len);

template <class Container>
decltype(auto) at_checked(Container& c, std::size_t index) {
    check_index(index, c.size());
    return c[index];
}

}  // namespace vantorel::core
