#include "index/direction_index.hpp"

#include <algorithm>
#include <cmath>
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

    // Most candidates of a large scan lose against the worst entry; that test
    // stays inline and the heap work out of line.
    void offer(double key, std::size_t slot) {
        const std::size_t position = next_position_++;
        if (entries_.size() == capacity_ && !key_before(key, worst_)) return;
        admit({key, position, slot});
    }

    [[nodiscard]] bool full() const noexcept { return entries_.size() == capacity_; }
    // The key a newcomer must beat once full; NaN while nothing is held.
    [[nodiscard]] double worst_key() const noexcept { return worst_; }

    void restart() noexcept {
        entries_.clear();
        next_position_ = 0;
        worst_ = std::numeric_limits<double>::quiet_NaN();
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

    [[gnu::noinline]] void admit(const Entry& entry) {
        if (entries_.size() < capacity_) {
            entries_.push_back(entry);
            std::push_heap(entries_.begin(), entries_.end(), ranks_before);
        } else if (capacity_ != 0) {
            std::pop_heap(entries_.begin(), entries_.end(), ranks_before);
            entries_.back() = entry;
            std::push_heap(entries_.begin(), entries_.end(), ranks_before);
        }
        if (!entries_.empty()) worst_ = entries_.front().key;
    }

    std::size_t capacity_;
    std::size_t next_position_ = 0;
    double worst_ = std::numeric_limits<double>::quiet_NaN();
    std::vector<Entry> entries_;
};

DirectionIndex::DirectionIndex(SectorGrid grid)
    : grid_(std::move(grid)), sectors_(grid_.sector_count()), reach_(grid_.sector_count(), 0.0) {}

void DirectionIndex::file(const Placement& placed, const core::SphericalPoint& position) {
    core::check_equal(placed.slot, location_of_slot_.size(), "slots must be filed in insertion order");
    const core::CartesianPoint direction = core::unit_vector(position);
    const std::size_t sector = grid_.sector_of(position);
    if (placed.id_number == latest_direction_.size()) {
        latest_direction_.push_back(direction);
    } else {
        core::at_checked(latest_direction_, placed.id_number) = direction;
    }
    auto& cell = core::at_checked(sectors_, sector);
    location_of_slot_.push_back({sector, cell.size()});
    cell.push_back({direction, placed.slot, placed.previous ? placed.id_number : kUnshared});

    if (!placed.previous) {
        widen(sector, direction);
        return;
    }
    // The new direction now ranks every earlier slot of the id as well. On the
    // first repeat the single earlier slot switches to the shared direction,
    // and each sector holding a slot of the id must reach the new direction.
    auto& sectors = sectors_of_repeated_id_[placed.id_number];
    if (sectors.empty()) {
        const Location earlier = core::at_checked(location_of_slot_, *placed.previous);
        core::at_checked(sectors_[earlier.sector], earlier.offset).shared = placed.id_number;
        sectors.push_back(earlier.sector);
    }
    if (std::find(sectors.begin(), sectors.end(), sector) == sectors.end()) sectors.push_back(sector);
    for (const std::size_t s : sectors) widen(s, direction);
}

void DirectionIndex::widen(std::size_t sector, const core::CartesianPoint& direction) {
    double& reach = core::at_checked(reach_, sector);
    // A NaN direction ranks last and can never displace a real hit; ignore it.
    reach = std::fmax(reach, core::angle_between(grid_.centre(sector), direction));
}

void DirectionIndex::scan(std::size_t sector, const core::CartesianPoint& q, Selection& selection) const {
    for (const Filed& f : sectors_[sector]) selection.offer(key_of(q, ranking_direction(f)), f.slot);
}

std::size_t DirectionIndex::gathered_count(const core::CartesianPoint& q, double radius) const {
    std::size_t count = 0;
    for (std::size_t s = 0; s < sectors_.size(); ++s) {
        if (grid_.takes(s, q, radius)) count += sectors_[s].size();
    }
    return count;
}

// True when no slot of a sector left out can rank before the selection's
// worst entry: the angle from q to any ranking direction of sector s is at
// least angle(q, centre) − reach(s).
bool DirectionIndex::covers(const core::CartesianPoint& q, double radius, const Selection& selection) const {
    for (std::size_t s = 0; s < sectors_.size(); ++s) {
        if (sectors_[s].empty() || grid_.takes(s, q, radius)) continue;
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
    Selection selection(std::min(k, location_of_slot_.size()));

    if (id_count <= kWholeScanLimit) {
        for (const auto& shell : shells) {
            for (const std::size_t slot : shell) {
                const Location at = core::at_checked(location_of_slot_, slot);
                selection.offer(key_of(q, ranking_direction(sectors_[at.sector][at.offset])), slot);
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
    for (std::size_t s = 0; s < sectors_.size(); ++s) {
        if (grid_.takes(s, q, radius)) scan(s, q, selection);
    }

    // Sectors judged by their centres can hide closer items (clustered data);
    // when the neighbourhood does not provably hold the k best, scan it all.
    if (!covers(q, radius, selection)) {
        selection.restart();
        for (std::size_t s = 0; s < sectors_.size(); ++s) scan(s, q, selection);
    }
    return std::move(selection).sorted();
}

}  // namespace vantorel::index
