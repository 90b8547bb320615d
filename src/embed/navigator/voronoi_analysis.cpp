#include "embed/navigator/voronoi_analysis.hpp"

#include <algorithm>
#include <vector>

#include "core/invariant.hpp"
#include "core/spatial.hpp"
#include "embed/navigator/category_caps.hpp"

namespace vantorel::embed::navigator {
namespace {

// |V ∩ G| / |V ∪ G| of two ascending, duplicate-free index lists; 1 when both are empty.
double jaccard(const std::vector<std::size_t>& v, const std::vector<std::size_t>& g) {
    if (v.empty() && g.empty()) return 1.0;
    std::size_t common = 0;
    auto a = v.begin();
    auto b = g.begin();
    while (a != v.end() && b != g.end()) {
        if (*a < *b) {
            ++a;
        } else if (*b < *a) {
            ++b;
        } else {
            ++common;
            ++a;
            ++b;
        }
    }
    const std::size_t either = v.size() + g.size() - common;
    return static_cast<double>(common) / static_cast<double>(either);
}

std::vector<std::size_t> graph_neighbors(const std::vector<CategoryEdge>& edges) {
    std::vector<std::size_t> targets;
    targets.reserve(edges.size());
    for (const CategoryEdge& e : edges) targets.push_back(e.target);
    std::ranges::sort(targets);
    targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
    return targets;
}

}  // namespace

VoronoiReport voronoi_analysis(const CategoryLayer& layer, std::uint64_t voronoi_samples) {
    const auto& summaries = layer.summaries();
    const CategoryCaps caps = category_caps(layer);
    const std::vector<core::spatial::VoronoiCell> cells = core::spatial::spherical_voronoi(caps.centres, voronoi_samples);

    VoronoiReport report;
    report.cells.reserve(cells.size());
    for (std::size_t k = 0; k < cells.size(); ++k) {
        const core::spatial::VoronoiCell& cell = cells[k];
        const CategorySummary& summary = summaries[k];
        VoronoiCellReport out;
        out.category_name = summary.name;
        out.voronoi_neighbors.reserve(cell.neighbors.size());
        for (const std::size_t n : cell.neighbors) out.voronoi_neighbors.push_back(core::at_checked(summaries, n).name);
        out.cell_area = cell.area;
        out.item_count = summary.member_count;
        out.territorial_efficiency =
            cell.area > 1e-15 ? static_cast<double>(summary.member_count) / cell.area : 0.0;
        out.graph_neighbor_overlap =
            jaccard(cell.neighbors, graph_neighbors(core::at_checked(layer.graph().adjacency, k)));
        report.total_area += cell.area;
        report.cells.push_back(std::move(out));
    }
    return report;
}

}  // namespace vantorel::embed::navigator
