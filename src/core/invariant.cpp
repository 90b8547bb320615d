#include "core/invariant.hpp"

#include "core/format.hpp"

namespace vantorel::core {

void stop(const std::string& message) { throw InvariantViolation(message); }

void check_equal(std::size_t left, std::size_t right, const char* what) {
    if (left != right) {
        stop(format("assertion `left == right` failed: {}\n  left: {}\n right: {}", what, left, right));
    }
}

void check_index(std::size_t index, std::size_t len) {
    if (index >= len) {
        stop(format("index out of bounds: the len is {} but the index is {}", len, index));
    }
}

}  // namespace vantorel::core
