#pragma once

#include <cstddef>
#include <span>
#include <unordered_map>
#include <vector>

#include "core/types.hpp"
#include "index/id_table.hpp"
#include "index/sector.hpp"

namespace vantorel::index {

// A selected slot and its ranking key, 1 − cos of its angle to the query.
struct RankedSlot {
    std::size_t slot = 0;
    double key = 0.0;
};

// The angular side of the composite index: the sector grid over slots, the
// unit direction that ranks each slot, and per sector how far the ranking
// directions filed there reach from its centre, which bounds what an
// unvisited sector can still contribute to a search.
class DirectionIndex {
public:
    explicit DirectionIndex(SectorGrid grid);

    // Files the slot the shell index just placed; slots must arrive in order.
    void file(const Placement& placed, const core::SphericalPoint& position);

    // The k best slots for the unit query q, ascending by key then by
    // gathering order. `shells` lists every slot in shell order and
    // `id_count` is the number of distinct ids.
    [[nodiscard]] std::vector<RankedSlot> nearest(const core::CartesianPoint& q, std::size_t k,
                                                  std::span<const std::vector<std::size_t>> shells,
                                                  std::size_t id_count) const;

    [[nodiscard]] const SectorGrid& grid() const noexcept { return grid_; }

private:
    class Selection;

    void widen(std::size_t sector, const core::CartesianPoint& direction);
    void scan(std::size_t sector, const core::CartesianPoint& q, Selection& selection) const;
    [[nodiscard]] std::size_t gathered_count(const core::CartesianPoint& q, double radius) const;
    [[nodiscard]] bool covers(const core::CartesianPoint& q, double radius, const Selection& selection) const;

    SectorGrid grid_;
    // One direction per distinct id: that of the id's latest insert, which
    // ranks every slot holding the id.
    std::vector<core::CartesianPoint> directions_;
    std::vector<std::size_t> id_number_of_slot_;
    std::vector<std::size_t> sector_of_slot_;
    // Per sector, the largest angle between its centre and a ranking direction of its slots.
    std::vector<double> reach_;
    // For ids inserted more than once: every sector holding one of their slots.
    std::unordered_map<std::size_t, std::vector<std::size_t>> sectors_of_repeated_id_;
};

}  // namespace vantorel::index
