#pragma once

#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

#include "core/conversions.hpp"
#include "core/distance.hpp"
#include "core/types.hpp"
#include "index/direction_index.hpp"
#include "index/item.hpp"
#include "index/sector.hpp"
#include "index/shell.hpp"

namespace vantorel::index {

template <IndexedItem T>
class SpatialIndex;

// Settings of a spatial index; the defaults are the engine's 12 × 6 grid.
struct SpatialIndexBuilder {
    std::vector<double> boundaries;
    std::size_t theta_divisions = 12;
    std::size_t phi_divisions = 6;

    // Appends the n + 1 boundaries (i · max_r) / n for i = 0..n. With n = 0
    // there is no such cut and nothing is appended.
    SpatialIndexBuilder& uniform_shells(std::size_t n, double max_r);

    // Stops the operation when a division count is zero.
    template <IndexedItem T>
    [[nodiscard]] SpatialIndex<T> build() const;
};

// Items filed by radius and by direction, searchable by angle. Each item is
// stored once (in the shell index); the sector grid and the direction cache
// refer to its slot.
template <IndexedItem T>
class SpatialIndex {
public:
    void insert(T item) {
        const core::SphericalPoint position = item.position;
        const Placement placed = shells_.insert(std::move(item));
        angular_.file(placed, position);
    }

    [[nodiscard]] const T* get(std::string_view id) const { return shells_.get(id); }

    // Up to k items nearest to the query's direction (its radius plays no
    // part), ascending by angle; ties keep the order in which they were
    // gathered. Items sharing an id rank by the direction of the latest
    // insert, and each reports the angle to its own position.
    [[nodiscard]] std::vector<NearestResult<T>> nearest(const core::SphericalPoint& query, std::size_t k) const {
        const auto ranked = angular_.nearest(core::unit_vector(query), k, shells_.shells(), shells_.id_count());
        std::vector<NearestResult<T>> results;
        results.reserve(ranked.size());
        for (const RankedSlot& hit : ranked) {
            const T& item = shells_.at(hit.slot);
            results.push_back({item, core::angular_distance(query, item.position)});
        }
        return results;
    }

    [[nodiscard]] const ShellIndex<T>& shells() const noexcept { return shells_; }

private:
    friend struct SpatialIndexBuilder;

    SpatialIndex(ShellIndex<T> shells, SectorGrid grid) : shells_(std::move(shells)), angular_(std::move(grid)) {}

    ShellIndex<T> shells_;
    DirectionIndex angular_;
};

template <IndexedItem T>
SpatialIndex<T> SpatialIndexBuilder::build() const {
    ShellIndexBuilder shells;
    for (const double b : boundaries) shells.boundary(b);
    return SpatialIndex<T>(shells.build<T>(), SectorGrid::make(theta_divisions, phi_divisions));
}

}  // namespace vantorel::index
