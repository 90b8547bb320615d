#include "embed/navigator/lune_analysis.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <limits>

#include "core/distance.hpp"
#include "core/interpolation.hpp"
#include "core/invariant.hpp"
#include "core/parallel.hpp"
#include "core/spatial.hpp"

namespace vantorel::embed::navigator {
namespace {

// How far the nearest third centroid reaches past the pair's own centroids
// towards the middle of their lune; 0 when none does.
double midpoint_intrusion(std::span<const CategorySummary> summaries, std::size_t i, std::size_t j) {
    const core::SphericalPoint& a = summaries[i].centroid;
    const core::SphericalPoint& b = summaries[j].centroid;
    const core::SphericalPoint mid = core::slerp(a, b, 0.5);
    const double own = std::min(core::angular_distance(mid, a), core::angular_distance(mid, b));
    double third = std::numeric_limits<double>::infinity();
    bool any_third = false;
    for (std::size_t k = 0; k < summaries.size(); ++k) {
        if (k == i || k == j) continue;
        any_third = true;
        third = std::min(third, core::angular_distance(mid, summaries[k].centroid));
    }
    return any_third && third < own ? own - third : 0.0;
}

void classify_bridges(std::span<const BridgeItem> bridges, const core::SphericalPoint& a,
                      const core::SphericalPoint& b, std::span<const core::SphericalPoint> positions,
                      std::array<std::size_t, 3>& sides) {
    for (const BridgeItem& item : bridges) {
        ++sides[core::spatial::lune_classify(a, b, core::at_checked(positions, item.item_index))];
    }
}

// The lunes of category i with every later category, in index order.
std::vector<LuneReport> lunes_of(const CategoryLayer& layer, std::size_t i,
                                 std::span<const core::SphericalPoint> positions) {
    const auto& summaries = layer.summaries();
    const CategoryGraph& graph = layer.graph();
    std::vector<LuneReport> lunes;
    for (std::size_t j = i + 1; j < summaries.size(); ++j) {
        const std::span<const BridgeItem> forward = graph.bridges_between(i, j);
        const std::span<const BridgeItem> backward = graph.bridges_between(j, i);
        if (forward.empty() && backward.empty()) continue;
        std::array<std::size_t, 3> sides{};  // indexed by lune side
        classify_bridges(forward, summaries[i].centroid, summaries[j].centroid, positions, sides);
        classify_bridges(backward, summaries[i].centroid, summaries[j].centroid, positions, sides);
        const std::size_t a = sides[core::spatial::kNearerA];
        const std::size_t b = sides[core::spatial::kNearerB];
        const std::size_t total = a + b + sides[core::spatial::kOnBisector];
        const double asymmetry = total == 0 ? 0.0
                                            : std::fabs(static_cast<double>(a) - static_cast<double>(b)) /
                                                  static_cast<double>(total);
        lunes.push_back({summaries[i].name, summaries[j].name, a, b, sides[core::spatial::kOnBisector], asymmetry,
                         midpoint_intrusion(summaries, i, j)});
    }
    return lunes;
}

}  // namespace

std::vector<LuneReport> lune_analysis(const CategoryLayer& layer, std::span<const core::SphericalPoint> positions) {
    const std::size_t n = layer.summaries().size();
    std::vector<std::vector<LuneReport>> by_first(n);
    core::for_each_index(n, [&](std::size_t i) { by_first[i] = lunes_of(layer, i, positions); });
    std::vector<LuneReport> lunes;
    for (std::vector<LuneReport>& part : by_first) std::ranges::move(part, std::back_inserter(lunes));
    return lunes;
}

}  // namespace vantorel::embed::navigator
