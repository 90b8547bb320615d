#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "core/invariant.hpp"
#include "index/id_table.hpp"
#include "index/item.hpp"

namespace vantorel::index {

// Radii cutting space into concentric shells, sorted by the IEEE total order
// without equal neighbours.
class ShellBounds {
public:
    explicit ShellBounds(std::vector<double> boundaries);

    [[nodiscard]] std::span<const double> boundaries() const noexcept { return boundaries_; }
    [[nodiscard]] std::size_t shell_count() const noexcept { return boundaries_.size() + 1; }
    // The number of boundaries at or below r in the total order, so -0.0 sits
    // below a +0.0 boundary and a NaN radius follows its sign.
    [[nodiscard]] std::size_t shell_of(double r) const noexcept;

private:
    std::vector<double> boundaries_;
};

// Items filed by radius. Each item is stored once, in a slot vector in
// insertion order; the shells hold slot numbers.
template <IndexedItem T>
class ShellIndex {
public:
    explicit ShellIndex(ShellBounds bounds) : bounds_(std::move(bounds)), shells_(bounds_.shell_count()) {}

    Placement insert(T item) {
        const std::size_t shell = bounds_.shell_of(item.position.r);
        const std::size_t slot = items_.size();
        const Placement placed = ids_.record(item.id, slot, shell);
        items_.push_back(std::move(item));
        shells_[shell].push_back(slot);
        return placed;
    }

    // The first item with this id in the shell of the id's latest insert.
    [[nodiscard]] const T* get(std::string_view id) const {
        const auto slot = ids_.lookup(id);
        return slot ? &items_[*slot] : nullptr;
    }

    [[nodiscard]] std::span<const double> boundaries() const noexcept { return bounds_.boundaries(); }
    [[nodiscard]] std::size_t shell_count() const noexcept { return shells_.size(); }
    [[nodiscard]] std::span<const std::size_t> shell(std::size_t i) const { return core::at_checked(shells_, i); }
    [[nodiscard]] std::span<const std::vector<std::size_t>> shells() const noexcept { return shells_; }
    [[nodiscard]] const T& at(std::size_t slot) const { return core::at_checked(items_, slot); }
    // Stored items, duplicates of an id included.
    [[nodiscard]] std::size_t size() const noexcept { return items_.size(); }
    [[nodiscard]] std::size_t id_count() const noexcept { return ids_.size(); }

private:
    ShellBounds bounds_;
    std::vector<T> items_;
    std::vector<std::vector<std::size_t>> shells_;
    IdTable ids_;
};

class ShellIndexBuilder {
public:
    // Any value is accepted, NaN and repeats included.
    ShellIndexBuilder& boundary(double value) & {
        boundaries_.push_back(value);
        return *this;
    }
    ShellIndexBuilder&& boundary(double value) && {
        boundaries_.push_back(value);
        return std::move(*this);
    }

    template <IndexedItem T>
    [[nodiscard]] ShellIndex<T> build() const {
        return ShellIndex<T>(ShellBounds(boundaries_));
    }

private:
    std::vector<double> boundaries_;
};

}  // namespace vantorel::index
