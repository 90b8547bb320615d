#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/expected.hpp"
#include "core/invariant.hpp"
#include "core/types.hpp"
#include "index/item.hpp"

namespace vantorel::index {

struct IndexError {
    enum class Kind { ZeroDivisions };

    Kind kind = Kind::ZeroDivisions;
    std::string_view field;  // "theta_divisions" or "phi_divisions"

    static IndexError zero_divisions(std::string_view field) { return {Kind::ZeroDivisions, field}; }

    // ZeroDivisions { field: "theta_divisions" }
    [[nodiscard]] std::string debug() const;

    friend bool operator==(const IndexError&, const IndexError&) = default;
};

// The geometry of a theta × phi grid, uniform in angle. Sector
// s = ti·phi_divisions + pi, so the sectors of one theta band are consecutive.
class SectorGrid {
public:
    static core::Expected<SectorGrid, IndexError> try_new(std::size_t theta_divisions, std::size_t phi_divisions);
    // Stops the operation on a zero division.
    static SectorGrid make(std::size_t theta_divisions, std::size_t phi_divisions);

    [[nodiscard]] std::size_t theta_divisions() const noexcept { return theta_divisions_; }
    [[nodiscard]] std::size_t phi_divisions() const noexcept { return phi_divisions_; }
    [[nodiscard]] std::size_t sector_count() const noexcept { return centres_.size(); }

    // Out-of-range and NaN angles land in the nearest edge band.
    [[nodiscard]] std::size_t sector_of(const core::SphericalPoint& position) const noexcept;
    [[nodiscard]] const core::CartesianPoint& centre(std::size_t s) const { return core::at_checked(centres_, s); }

    // Angular length of one sector's diagonal, in radians.
    [[nodiscard]] double diagonal() const noexcept { return diagonal_; }
    // Whether the nearby-sector test takes sector s for the unit query q and a
    // radius in units of 1 − cos: the sector's centre must lie within the
    // radius widened by one sector diagonal. A NaN comparison does not take it.
    [[nodiscard]] bool takes(std::size_t s, const core::CartesianPoint& q, double radius) const;

private:
    SectorGrid(std::size_t theta_divisions, std::size_t phi_divisions);

    std::size_t theta_divisions_;
    std::size_t phi_divisions_;
    double diagonal_;
    double slack_;
    // Unit directions of the sector centres, computed once instead of per query.
    std::vector<core::CartesianPoint> centres_;
};

// Items filed by direction into the sectors of a grid.
template <IndexedItem T>
class SectorIndex {
public:
    static core::Expected<SectorIndex, IndexError> try_new(std::size_t theta_divisions, std::size_t phi_divisions) {
        auto grid = SectorGrid::try_new(theta_divisions, phi_divisions);
        if (!grid) return core::Unexpected{grid.error()};
        return SectorIndex(std::move(*grid));
    }
    static SectorIndex make(std::size_t theta_divisions, std::size_t phi_divisions) {
        return SectorIndex(SectorGrid::make(theta_divisions, phi_divisions));
    }

    void insert(T item) {
        const std::size_t sector = grid_.sector_of(item.position);
        sectors_[sector].push_back(std::move(item));
    }

    // Items of every sector the grid's test takes for the unit direction
    // (x, y, z) and radius (1 − cos units, 2 and more takes all), in sector
    // order and within a sector in insertion order.
    [[nodiscard]] std::vector<std::reference_wrapper<const T>> items_in_nearby_sectors(double x, double y, double z,
                                                                                       double radius) const {
        const core::CartesianPoint q{x, y, z};
        std::vector<std::reference_wrapper<const T>> found;
        for (std::size_t s = 0; s < sectors_.size(); ++s) {
            if (grid_.takes(s, q, radius)) found.insert(found.end(), sectors_[s].begin(), sectors_[s].end());
        }
        return found;
    }

    [[nodiscard]] const SectorGrid& grid() const noexcept { return grid_; }

private:
    explicit SectorIndex(SectorGrid grid) : grid_(std::move(grid)), sectors_(grid_.sector_count()) {}

    SectorGrid grid_;
    std::vector<std::vector<T>> sectors_;
};

}  // namespace vantorel::index
