#include "embed/navigator/knowledge_coverage.hpp"

#include "core/spatial.hpp"
#include "embed/navigator/category_caps.hpp"

namespace vantorel::embed::navigator {

KnowledgeCoverageReport knowledge_coverage(const CategoryLayer& layer, std::uint64_t coverage_samples) {
    const CategoryCaps caps = category_caps(layer);
    const core::spatial::CoverageEstimate estimate =
        core::spatial::estimate_coverage(caps.centres, caps.half_angles, coverage_samples);
    KnowledgeCoverageReport report{
        .coverage_fraction = estimate.coverage_fraction,
        .covered_area = estimate.covered_area,
        .overlap_area = estimate.overlap_area,
        .void_samples = estimate.void_samples,
        .total_samples = estimate.total_samples,
        .caps = {},
    };
    report.caps.reserve(layer.summaries().size());
    for (const CategorySummary& s : layer.summaries()) {
        report.caps.push_back({s.name, s.centroid, s.angular_spread, cap_area(s.angular_spread)});
    }
    return report;
}

}  // namespace vantorel::embed::navigator
