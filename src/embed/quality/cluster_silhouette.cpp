#include "embed/quality/cluster_silhouette.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>
#include <span>
#include <vector>

#include "core/conversions.hpp"
#include "core/distance.hpp"
#include "core/invariant.hpp"
#include "core/numeric.hpp"
#include "core/parallel.hpp"
#include "embed/pipeline/pipeline.hpp"
#include "embed/quality/labelled_positions.hpp"

namespace vantorel::embed {
namespace {

// Points per parallel block of the row scan: each costs one angle per grouped position.
constexpr std::size_t kBlock = 16;
// Side of the square tiles of the pair sweep.
constexpr std::size_t kTile = 128;
// Largest table of per-point group sums the pair sweep keeps (64 MiB); above
// it, as with very many categories, each point scans its own row instead.
constexpr std::size_t kMaxPairSums = std::size_t{1} << 23;

// The positions grouped by category: group c is units[offsets[c], offsets[c + 1]),
// in export order; group_of[p] is the group of units[p].
struct Groups {
    std::vector<std::size_t> offsets;
    std::vector<core::CartesianPoint> units;
    std::vector<std::size_t> group_of;

    [[nodiscard]] std::size_t count() const noexcept { return offsets.size() - 1; }
    [[nodiscard]] std::size_t size(std::size_t c) const noexcept { return offsets[c + 1] - offsets[c]; }
};

Groups group_positions(std::span<const core::SphericalPoint> positions, std::span<const std::size_t> labels,
                       std::size_t categories) {
    Groups g;
    g.offsets.assign(categories + 1, 0);
    for (const std::size_t label : labels) {
        if (label == kNoCategory) continue;
        core::check_index(label, categories);
        ++g.offsets[label + 1];
    }
    std::partial_sum(g.offsets.begin(), g.offsets.end(), g.offsets.begin());
    g.units.resize(g.offsets.back());
    g.group_of.resize(g.offsets.back());
    std::vector<std::size_t> next(g.offsets.begin(), g.offsets.end() - 1);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        if (labels[i] == kNoCategory) continue;
        const std::size_t p = next[labels[i]]++;
        g.units[p] = core::unit_vector(positions[i]);
        g.group_of[p] = labels[i];
    }
    return g;
}

// Silhouette of grouped position p from its sums of angles to each group (its
// own entry left out); empty when no other group holds a position.
std::optional<double> silhouette_of(const Groups& g, std::size_t p, std::span<const double> sums) {
    const std::size_t own = g.group_of[p];
    const double a = sums[own] / static_cast<double>(g.size(own) - 1);
    double b = std::numeric_limits<double>::infinity();
    for (std::size_t c = 0; c < sums.size(); ++c) {
        if (c == own || g.size(c) == 0) continue;
        const double mean = sums[c] / static_cast<double>(g.size(c));
        if (mean < b) b = mean;
    }
    if (std::isinf(b)) return std::nullopt;
    double m = std::isnan(a) || b > a ? b : a;
    if (m < core::kEps) m = core::kEps;
    return (b - a) / m;
}

// Adds the angles of rows [r0, r1) × columns [c0, c1) (above the diagonal
// only when the two ranges are one) to the rows' sums, by the column's group,
// and to the columns' sums, by the row's group. The angle is symmetric to the
// bit, so one evaluation serves both.
void add_tile(const Groups& g, std::size_t r0, std::size_t r1, std::size_t c0, std::size_t c1, bool diagonal,
              std::vector<double>& sums) {
    const std::size_t groups = g.count();
    for (std::size_t p = r0; p < r1; ++p) {
        const core::CartesianPoint& u = g.units[p];
        double* row = sums.data() + p * groups;
        const std::size_t own = g.group_of[p];
        for (std::size_t q = diagonal ? p + 1 : c0; q < c1; ++q) {
            const double d = core::angle_between(u, g.units[q]);
            row[g.group_of[q]] += d;
            sums[q * groups + own] += d;
        }
    }
}

// Every point's sums of angles to each group, each pair's angle computed
// once. Tile (A, B), A <= B, adds the pairs of row tile A and column tile B;
// the tiles of one anti-diagonal A + B touch disjoint sums and run in
// parallel, and the anti-diagonals run in order, so every sum receives its
// terms in ascending position order, as a scan of the point's own row adds them.
std::vector<double> pair_sums(const Groups& g) {
    const std::size_t n = g.units.size();
    const std::size_t tiles = (n + kTile - 1) / kTile;
    std::vector<double> sums(n * g.count(), 0.0);
    for (std::size_t diagonal = 0; diagonal + 1 < 2 * tiles; ++diagonal) {
        const std::size_t first = diagonal < tiles ? 0 : diagonal - (tiles - 1);
        core::for_each_index(diagonal / 2 - first + 1, [&](std::size_t t) {
            const std::size_t a = first + t;
            const std::size_t b = diagonal - a;
            add_tile(g, a * kTile, std::min(n, (a + 1) * kTile), b * kTile, std::min(n, (b + 1) * kTile), a == b,
                     sums);
        });
    }
    return sums;
}

// acc plus the angles from u to units[begin, end), added in order.
double add_angles(const Groups& g, const core::CartesianPoint& u, std::size_t begin, std::size_t end, double acc) {
    for (std::size_t q = begin; q < end; ++q) acc += core::angle_between(u, g.units[q]);
    return acc;
}

// Point p's sums of angles to each group by a scan of its row.
void row_sums(const Groups& g, std::size_t p, std::span<double> sums) {
    const core::CartesianPoint& u = g.units[p];
    const std::size_t own = g.group_of[p];
    for (std::size_t c = 0; c < sums.size(); ++c) {
        const std::size_t begin = g.offsets[c];
        const std::size_t end = g.offsets[c + 1];
        // p's own entry is skipped; every other entry counts, even at the same place.
        sums[c] = c == own ? add_angles(g, u, p + 1, end, add_angles(g, u, begin, p, 0.0))
                           : add_angles(g, u, begin, end, 0.0);
    }
}

}  // namespace

namespace detail {

std::vector<double> group_angle_sums(std::span<const core::SphericalPoint> positions,
                                     std::span<const std::size_t> labels, std::size_t categories, bool pair_sweep) {
    const Groups g = group_positions(positions, labels, categories);
    if (pair_sweep) return pair_sums(g);
    std::vector<double> sums(g.units.size() * categories);
    for (std::size_t p = 0; p < g.units.size(); ++p) {
        row_sums(g, p, std::span(sums).subspan(p * categories, categories));
    }
    return sums;
}

}  // namespace detail

double cluster_silhouette(std::span<const core::SphericalPoint> positions, std::span<const std::size_t> labels,
                          std::size_t categories) {
    core::check_equal(positions.size(), labels.size(), "every position needs a label");
    if (categories < 2 || positions.size() < 2) return 1.0;
    const Groups g = group_positions(positions, labels, categories);
    const std::size_t grouped = g.units.size();
    if (grouped < 2) return 1.0;

    // Either way each sum adds its terms in position order: the score does
    // not depend on the way taken nor on the thread count.
    std::vector<std::optional<double>> scores(grouped);
    if (grouped <= kMaxPairSums / categories) {
        const std::vector<double> sums = pair_sums(g);
        for (std::size_t p = 0; p < grouped; ++p) {
            if (g.size(g.group_of[p]) < 2) continue;
            scores[p] = silhouette_of(g, p, std::span(sums).subspan(p * categories, categories));
        }
    } else {
        core::for_each_block(grouped, kBlock, [&](std::size_t, std::size_t begin, std::size_t end) {
            std::vector<double> sums(categories);
            for (std::size_t p = begin; p < end; ++p) {
                if (g.size(g.group_of[p]) < 2) continue;
                row_sums(g, p, sums);
                scores[p] = silhouette_of(g, p, sums);
            }
        });
    }

    // Summed in group order, then position order, whatever the thread count.
    double sum = 0.0;
    std::size_t count = 0;
    for (const std::optional<double>& s : scores) {
        if (!s) continue;
        sum += *s;
        ++count;
    }
    if (count == 0) return 1.0;
    return core::clamp_unit((sum / static_cast<double>(count) + 1.0) * 0.5);
}

double ClusterSilhouette::score(const VantorelPipeline& pipeline) const {
    const LabelledPositions points = labelled_positions(pipeline);
    return cluster_silhouette(points.positions, points.labels, points.categories);
}

}  // namespace vantorel::embed
