#pragma once

#include <string>

#include "core/invariant.hpp"

namespace vantorel::testing {

// The message of the broken-invariant stop that `f` raises, or "no stop".
template <class F>
std::string stop_text(F&& f) {
    try {
        f();
    } catch (const core::InvariantViolation& e) {
        return e.what();
    }
    return "no stop";
}

}  // namespace vantorel::testing
