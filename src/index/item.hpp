#pragma once

#include <concepts>
#include <string>
#include <type_traits>

#include "core/types.hpp"

namespace vantorel::index {

// What the indexes need of an item: a text id and a position on the sphere.
// Results hand out copies, so items must be copyable.
template <class T>
concept IndexedItem = std::copy_constructible<T> && std::movable<T> && requires(const T& item) {
    requires std::same_as<std::remove_cvref_t<decltype(item.id)>, std::string>;
    requires std::same_as<std::remove_cvref_t<decltype(item.position)>, core::SphericalPoint>;
};

// One hit of a nearest search: a copy of the item and its angle to the query in radians.
template <IndexedItem T>
struct NearestResult {
    T item;
    double distance = 0.0;
};

}  // namespace vantorel::index
