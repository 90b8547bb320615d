#include "embed/navigator/overlap_analysis.hpp"

#include <limits>

#include "core/spatial.hpp"
#include "embed/navigator/category_caps.hpp"

namespace vantorel::embed::navigator {

OverlapReport overlap_analysis(const CategoryLayer& layer, std::uint64_t exclusivity_samples) {
    const auto& summaries = layer.summaries();
    const CategoryGraph& graph = layer.graph();
    const CategoryCaps caps = category_caps(layer);

    OverlapReport report;
    for (const core::spatial::CapOverlap& o : core::spatial::pairwise_overlaps(caps.centres, caps.half_angles)) {
        const std::size_t bridges = graph.bridges_between(o.i, o.j).size() + graph.bridges_between(o.j, o.i).size();
        double per_bridge = 0.0;
        if (bridges > 0) {
            per_bridge = o.area / static_cast<double>(bridges);
        } else if (o.area > 1e-15) {
            per_bridge = std::numeric_limits<double>::infinity();
        }
        report.pairs.push_back({summaries[o.i].name, summaries[o.j].name, o.area, bridges, per_bridge});
    }
    // One cap after another: each cap's sampling runs in parallel and polls
    // for Ctrl-C between its rounds, which it could not do inside a task.
    report.exclusivity.reserve(summaries.size());
    for (std::size_t i = 0; i < summaries.size(); ++i) {
        const double exclusivity =
            core::spatial::cap_exclusivity(i, caps.centres, caps.half_angles, exclusivity_samples);
        report.exclusivity.push_back({summaries[i].name, cap_area(caps.half_angles[i]), exclusivity});
    }
    return report;
}

}  // namespace vantorel::embed::navigator
