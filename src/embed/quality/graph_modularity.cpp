#include "embed/quality/graph_modularity.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
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

// Points per parallel block: each point costs one distance per other point.
constexpr std::size_t kBlock = 16;

// Below cos(θ) minus this, a dot product of two unit vectors proves their
// computed angle larger than θ: the dot and the angle are each off by a few
// units in the last place, far below this margin.
constexpr double kDotMargin = 1e-9;

struct Candidate {
    std::int64_t key;  // total-order key of the distance
    std::size_t index;
    double distance;

    friend bool operator<(const Candidate& a, const Candidate& b) noexcept {
        return a.key != b.key ? a.key < b.key : a.index < b.index;
    }
};

// Writes the k nearest other points of point i (ascending index) to `out`,
// keeping a buffer of at most 2k candidates: once it fills, the k smallest
// stay and only a strictly smaller distance can enter afterwards, since every
// later index is larger than the ones kept. A candidate whose dot product
// already proves it farther is passed over without computing its angle.
void nearest_of(std::span<const core::CartesianPoint> units, std::size_t i, std::size_t k,
                std::vector<Candidate>& buffer, std::span<std::size_t> out) {
    const std::size_t capacity = std::min(2 * k, units.size() - 1);
    const core::CartesianPoint& u = units[i];
    buffer.clear();
    bool bounded = false;
    std::int64_t bound = 0;
    // -inf passes everything (also while a NaN distance is the bound).
    double min_dot = -std::numeric_limits<double>::infinity();
    const auto shrink = [&] {
        std::nth_element(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(k - 1), buffer.end());
        buffer.resize(k);
        const Candidate& farthest = *std::max_element(buffer.begin(), buffer.end());
        bound = farthest.key;
        bounded = true;
        const double c = std::cos(farthest.distance) - kDotMargin;
        min_dot = std::isnan(c) ? -std::numeric_limits<double>::infinity() : c;
    };
    for (std::size_t j = 0; j < units.size(); ++j) {
        if (j == i || u.dot(units[j]) < min_dot) continue;
        const double distance = core::angle_between(u, units[j]);
        const std::int64_t key = core::total_order_key(distance);
        if (bounded && key >= bound) continue;
        buffer.push_back({key, j, distance});
        if (buffer.size() == capacity && capacity > k) shrink();
    }
    if (buffer.size() > k) shrink();
    for (std::size_t r = 0; r < k; ++r) out[r] = buffer[r].index;
    std::sort(out.begin(), out.end());
}

}  // namespace

double graph_modularity(std::span<const core::SphericalPoint> positions, std::span<const std::size_t> labels,
                        std::size_t categories, std::size_t k) {
    core::check_equal(positions.size(), labels.size(), "every position needs a label");
    const std::size_t n = positions.size();
    if (categories < 2 || n < 2) return 1.0;
    for (const std::size_t label : labels) {
        if (label != kNoCategory) core::check_index(label, categories);
    }
    const std::size_t k_eff = std::max<std::size_t>(1, std::min(k, n - 1));

    std::vector<core::CartesianPoint> units(n);
    for (std::size_t i = 0; i < n; ++i) units[i] = core::unit_vector(positions[i]);
    // Row i holds the k_eff points that i links to, ascending.
    std::vector<std::size_t> chosen(n * k_eff);
    core::for_each_block(n, kBlock, [&](std::size_t, std::size_t begin, std::size_t end) {
        std::vector<Candidate> buffer;
        buffer.reserve(std::min(2 * k_eff, n - 1));
        for (std::size_t i = begin; i < end; ++i) {
            nearest_of(units, i, k_eff, buffer, std::span(chosen).subspan(i * k_eff, k_eff));
        }
    });
    const auto row = [&](std::size_t i) { return std::span<const std::size_t>(chosen).subspan(i * k_eff, k_eff); };

    // Each unordered pair once: a pair both ends chose is counted at its smaller end.
    std::size_t m = 0;
    std::vector<std::size_t> degree(n, 0);
    std::vector<std::size_t> inside(categories, 0);
    for (std::size_t i = 0; i < n; ++i) {
        for (const std::size_t j : row(i)) {
            if (j < i && std::binary_search(row(j).begin(), row(j).end(), i)) continue;
            ++m;
            ++degree[i];
            ++degree[j];
            if (labels[i] != kNoCategory && labels[i] == labels[j]) ++inside[labels[i]];
        }
    }
    std::vector<std::size_t> degree_sum(categories, 0);
    for (std::size_t i = 0; i < n; ++i) {
        if (labels[i] != kNoCategory) degree_sum[labels[i]] += degree[i];
    }
    const double edges = static_cast<double>(m);
    double q = 0.0;
    for (std::size_t c = 0; c < categories; ++c) {
        const double share = static_cast<double>(degree_sum[c]) / (2.0 * edges);
        q += static_cast<double>(inside[c]) / edges - share * share;
    }
    return core::clamp_unit(q);
}

double GraphModularity::score(const VantorelPipeline& pipeline) const {
    const LabelledPositions points = labelled_positions(pipeline);
    return graph_modularity(points.positions, points.labels, points.categories, k_);
}

}  // namespace vantorel::embed
