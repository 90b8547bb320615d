#pragma once

#include <cstddef>
#include <limits>
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

// The angular side of the composite index: slots filed by sector together
// with the unit direction that ranks them, and per sector how far those
// directions reach from its centre, which bounds what a sector left out of a
// search can still contribute.
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

private:
    class Selection;

    static constexpr std::size_t kUnshared = std::numeric_limits<std::size_t>::max();

    // A slot as its sector holds it, laid out for the scan.
    struct Filed {
        core::CartesianPoint direction;  // the slot's own direction
        std::size_t slot;
        // kUnshared while the slot's id is unique; once it repeats, the id
        // number, whose latest direction in `latest_direction_` ranks the slot.
        std::size_t shared;
    };

    struct Location {
        std::size_t sector;
        std::size_t offset;
    };

    [[nodiscard]] const core::CartesianPoint& ranking_direction(const Filed& f) const noexcept {
        return f.shared == kUnshared ? f.direction : latest_direction_[f.shared];
    }
    void widen(std::size_t sector, const core::CartesianPoint& direction);
    void scan(std::size_t sector, const core::CartesianPoint& q, Selection& selection) const;
    [[nodiscard]] std::size_t gathered_count(const core::CartesianPoint& q, double radius) const;
    [[nodiscard]] bool covers(const core::CartesianPoint& q, double radius, const Selection& selection) const;

    SectorGrid grid_;
    std::vector<std::vector<Filed>> sectors_;
    std::vector<Location> location_of_slot_;
    // Per sector, the largest angle between its centre and a ranking direction of its slots.
    std::vector<double> reach_;
    // By id number, the direction of the id's latest insert.
    std::vector<core::CartesianPoint> latest_direction_;
    // For ids inserted more than once: every sector holding one of their slots.
    std::unordered_map<std::size_t, std::vector<std::size_t>> sectors_of_repeated_id_;
};

}  // namespace vantorel::index
