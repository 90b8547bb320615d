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

// Points per parallel block: each point costs one distance per grouped position.
constexpr std::size_t kBlock = 16;

// acc plus the angles from u to every entry of vs, added in order.
double add_angles(const core::CartesianPoint& u, std::span<const core::CartesianPoint> vs, double acc) noexcept {
    for (const core::CartesianPoint& v : vs) acc += core::angle_between(u, v);
    return acc;
}

// The positions grouped by category: group c is units[offsets[c], offsets[c + 1]),
// in export order.
struct Groups {
    std::vector<std::size_t> offsets;
    std::vector<core::CartesianPoint> units;

    [[nodiscard]] std::size_t size(std::size_t c) const noexcept { return offsets[c + 1] - offsets[c]; }
    [[nodiscard]] std::span<const core::CartesianPoint> range(std::size_t begin, std::size_t end) const noexcept {
        return std::span(units).subspan(begin, end - begin);
    }
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
    std::vector<std::size_t> next(g.offsets.begin(), g.offsets.end() - 1);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        if (labels[i] != kNoCategory) g.units[next[labels[i]]++] = core::unit_vector(positions[i]);
    }
    return g;
}

// Silhouette of grouped position p in group own, whose size is at least 2;
// `sums` is scratch of one entry per group. Empty when no other group holds a
// position.
std::optional<double> silhouette_of(const Groups& g, std::size_t p, std::size_t own, std::vector<double>& sums) {
    const core::CartesianPoint& u = g.units[p];
    const std::size_t groups = sums.size();
    for (std::size_t c = 0; c < groups; ++c) {
        const std::size_t begin = g.offsets[c];
        const std::size_t end = g.offsets[c + 1];
        // p's own entry is skipped; every other entry counts, even at the same place.
        sums[c] = c == own ? add_angles(u, g.range(p + 1, end), add_angles(u, g.range(begin, p), 0.0))
                           : add_angles(u, g.range(begin, end), 0.0);
    }
    const double a = sums[own] / static_cast<double>(g.size(own) - 1);
    double b = std::numeric_limits<double>::infinity();
    for (std::size_t c = 0; c < groups; ++c) {
        if (c == own || g.size(c) == 0) continue;
        const double mean = sums[c] / static_cast<double>(g.size(c));
        if (mean < b) b = mean;
    }
    if (std::isinf(b)) return std::nullopt;
    double m = std::isnan(a) || b > a ? b : a;
    if (m < core::kEps) m = core::kEps;
    return (b - a) / m;
}

}  // namespace

double cluster_silhouette(std::span<const core::SphericalPoint> positions, std::span<const std::size_t> labels,
                          std::size_t categories) {
    core::check_equal(positions.size(), labels.size(), "every position needs a label");
    if (categories < 2 || positions.size() < 2) return 1.0;
    const Groups g = group_positions(positions, labels, categories);
    const std::size_t grouped = g.units.size();
    if (grouped < 2) return 1.0;

    std::vector<std::optional<double>> scores(grouped);
    core::for_each_block(grouped, kBlock, [&](std::size_t, std::size_t begin, std::size_t end) {
        std::vector<double> sums(categories);
        std::size_t own = static_cast<std::size_t>(
            std::upper_bound(g.offsets.begin(), g.offsets.end(), begin) - g.offsets.begin() - 1);
        for (std::size_t p = begin; p < end; ++p) {
            while (p >= g.offsets[own + 1]) ++own;
            if (g.size(own) >= 2) scores[p] = silhouette_of(g, p, own, sums);
        }
    });

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
