#include "index/direction_index.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "core/conversions.hpp"
#include "core/distance.hpp"
#include "core/invariant.hpp"
#include "core/numeric.hpp"

namespace vantorel::index {

namespace {

// Indexes with at most this many distinct ids are scanned whole.
constexpr std::size_t kWholeScanLimit = 500;

// Slack, in radians, for the rounding of the angles in the coverage bound; far
// above their error (about 3e-8 near 0 and π) and far below a sector's size.
constexpr double kAngleMargin = 1e-6;

// Key order: ascending, NaN after every number (a NaN key ranks last).
bool key_before(double a, double b) noexcept { return a < b || (!std::isnan(a) && std::isnan(b)); }

double key_of(const core::CartesianPoint& q, const core::CartesianPoint& direction) noexcept {
    return 1.0 - core::clamp_keep_nan(q.dot(direction), -1.0, 1.0);
}

}  // namespace

// A bounded max-heap of the best entries offered so far. Entries rank by key,
// then by the order they were offered, so an equal key never displaces an
// earlier entry and the output order is deterministic.
class DirectionIndex::Selection {
public:
    explicit Selection(std::size_t capacity) : capacity_(capacity) { entries_.reserve(capacity); }

    void offer(double key, std::size_t slot) {
        const Entry entry{key, next_position_++, slot};
        if (entries_.size() < capacity_) {
            entries_.push_back(entry);
            std::push_heap(entries_.begin(), entries_.end(), ranks_before);
            return;
        }
        if (entries_.empty() || !key_before(key, entries_.front().key)) return;
        std::pop_heap(entries_.begin(), entries_.end(), ranks_before);
        entries_.back() = entry;
        std::push_heap(entries_.begin(), entries_.end(), ranks_before);
    }

    [[nodiscard]] bool full() const noexcept { return entries_.size() == capacity_; }
    // The key a newcomer must beat; NaN while nothing is held.
    [[nodiscard]] double worst_key() const noexcept {
        return entries_.empty() ? std::numeric_limits<double>::quiet_NaN() : entries_.front().key;
    }

    void restart() noexcept {
        entries_.clear();
        next_position_ = 0;
    }

    [[nodiscard]] std::vector<RankedSlot> sorted() && {
        std::sort_heap(entries_.begin(), entries_.end(), ranks_before);
        std::vector<RankedSlot> out;
        out.reserve(entries_.size());
        for (const Entry& e : entries_) out.push_back({e.slot, e.key});
        return out;
    }

private:
    struct Entry {
        double key;
        std::size_t position;
        std::size_t slot;
    };

    static bool ranks_before(const Entry& a, const Entry& b) noexcept {
        if (key_before(a.key, b.key)) return true;
        if (key_before(b.key, a.key)) return false;
        return a.position < b.position;
    }

    std::size_t capacity_;
    std::size_t next_position_ = 0;
    std::vector<Entry> entries_;
};

DirectionIndex::DirectionIndex(SectorGrid grid) : grid_(std::move(grid)), reach_(grid_.sector_count(), 0.0) {}

void DirectionIndex::file(const Placement& placed, const core::SphericalPoint& position) {
    core::check_equal(placed.slot, id_number_of_slot_.size(), "slots must be filed in insertion order");
    const core::CartesianPoint direction = core::unit_vector(position);
    const std::size_t sector = grid_.sector_of(position);
    if (placed.id_number == directions_.size()) {
        directions_.push_back(direction);
    } else {
        core::at_checked(directions_, placed.id_number) = direction;
    }
    id_number_of_slot_.push_back(placed.id_number);
    sector_of_slot_.push_back(sector);
    grid_.file(sector, placed.slot);

    if (!placed.previous) {
        widen(sector, direction);
        return;
    }
    // The new direction now ranks every earlier slot of the id as well, so
    // each sector holding one of them must reach it.
    auto& sectors = sectors_of_repeated_id_[placed.id_number];
    if (sectors.empty()) sectors.push_back(core::at_checked(sector_of_slot_, *placed.previous));
    if (std::find(sectors.begin(), sectors.end(), sector) == sectors.end()) sectors.push_back(sector);
    for (const std::size_t s : sectors) widen(s, direction);
}

void DirectionIndex::widen(std::size_t sector, const core::CartesianPoint& direction) {
    double& reach = core::at_checked(reach_, sector);
    // A NaN direction ranks last and can never displace a real hit; ignore it.
    reach = std::fmax(reach, core::angle_between(grid_.centre(sector), direction));
}

void DirectionIndex::scan(std::size_t sector, const core::CartesianPoint& q, Selection& selection) const {
    for (const std::size_t slot : grid_.sector(sector)) {
        selection.offer(key_of(q, directions_[id_number_of_slot_[slot]]), slot);
    }
}

std::size_t DirectionIndex::gathered_count(const core::CartesianPoint& q, double radius) const {
    std::size_t count = 0;
    for (std::size_t s = 0; s < grid_.sector_count(); ++s) {
        if (grid_.takes(s, q, radius)) count += grid_.sector(s).size();
    }
    return count;
}

// True when no slot of a sector left out can rank before the selection's
// worst entry: the angle from q to any ranking direction of sector s is at
// least angle(q, centre) − reach(s).
bool DirectionIndex::covers(const core::CartesianPoint& q, double radius, const Selection& selection) const {
    for (std::size_t s = 0; s < grid_.sector_count(); ++s) {
        if (grid_.sector(s).empty() || grid_.takes(s, q, radius)) continue;
        if (!selection.full()) return false;
        const double to_centre = std::acos(core::clamp_keep_nan(grid_.centre(s).dot(q), -1.0, 1.0));
        const double closest = to_centre - reach_[s] - kAngleMargin;
        // Written so that a NaN anywhere means "not covered".
        if (!(closest > 0.0 && 1.0 - std::cos(closest) > selection.worst_key())) return false;
    }
    return true;
}

std::vector<RankedSlot> DirectionIndex::nearest(const core::CartesianPoint& q, std::size_t k,
                                                std::span<const std::vector<std::size_t>> shells,
                                                std::size_t id_count) const {
    if (k == 0) return {};
    Selection selection(std::min(k, id_number_of_slot_.size()));

    if (id_count <= kWholeScanLimit) {
        for (const auto& shell : shells) {
            for (const std::size_t slot : shell) {
                const std::size_t id_number = core::at_checked(id_number_of_slot_, slot);
                selection.offer(key_of(q, directions_[id_number]), slot);
            }
        }
        return std::move(selection).sorted();
    }

    // Widen the neighbourhood by doubling until it holds enough candidates;
    // any radius of 2 or more takes every sector.
    const std::size_t target = std::min(id_count, std::max<std::size_t>(100, core::saturating_mul(20, k)));
    double radius = std::fmax(2.0 * (1.0 - std::cos(grid_.diagonal())), 0.01);
    std::size_t count = gathered_count(q, radius);
    while (radius < 2.0 && count < target) {
        radius *= 2.0;
        count = gathered_count(q, radius);
    }
    for (std::size_t s = 0; s < grid_.sector_count(); ++s) {
        if (grid_.takes(s, q, radius)) scan(s, q, selection);
    }

    // Sectors judged by their centres can hide closer items (clustered data);
    // when the neighbourhood does not provably hold the k best, scan it all.
    if (!covers(q, radius, selection)) {
        selection.restart();
        for (std::size_t s = 0; s < grid_.sector_count(); ++s) scan(s, q, selection);
    }
    return std::move(selection).sorted();
}

}  // namespace vantorel::index
