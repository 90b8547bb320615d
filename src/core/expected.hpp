#pragma once

#include <utility>
#include <variant>

#include "core/invariant.hpp"

namespace vantorel::core {

// The error side of an Expected, so that `return Unexpected{err};` reads clearly.
template <class E>
struct Unexpected {
    E error;
};
template <class E>
Unexpected(E) -> Unexpected<E>;

// A value or an error value: the return type of every operation that can fail
// on its input. Reading the wrong side is a broken invariant.
template <class T, class E>
class Expected {
public:
    Expected(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    template <class G>
    Expected(Unexpected<G> err) : state_(std::in_place_index<1>, std::move(err.error)) {}

    [[nodiscard]] bool has_value() const noexcept { return state_.index() == 0; }
    explicit operator bool() const noexcept { return has_value(); }

    T& value() & { return std::get<0>(checked(true)); }
    const T& value() const& { return std::get<0>(checked(true)); }
    T&& value() && { return std::get<0>(std::move(checked(true))); }
    const E& error() const& { return std::get<1>(checked(false)); }
    E&& error() && { return std::get<1>(std::move(checked(false))); }

    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

private:
    std::variant<T, E>& checked(bool want_value) {
        if (has_value() != want_value) stop("Expected accessed on the wrong side");
        return state_;
    }
    const std::variant<T, E>& checked(bool want_value) const {
        if (has_value() != want_value) stop("Expected accessed on the wrong side");
        return state_;
    }

    std::variant<T, E> state_;
};

}  // namespace vantorel::core
