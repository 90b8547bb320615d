#include "embed/navigator/run_full_analysis.hpp"

#include "embed/navigator/antipodal_analysis.hpp"
#include "embed/navigator/curvature_analysis.hpp"
#include "embed/navigator/knowledge_coverage.hpp"
#include "embed/navigator/lune_analysis.hpp"
#include "embed/navigator/overlap_analysis.hpp"
#include "embed/navigator/voronoi_analysis.hpp"

namespace vantorel::embed::navigator {

NavigatorReport run_full_analysis(const CategoryLayer& layer, std::span<const core::SphericalPoint> positions,
                                  std::span<const std::string> categories, const NavigatorConfig& config,
                                  double explained_variance_ratio) {
    NavigatorReport report;
    report.antipodal = antipodal_analysis(layer, positions, categories, config.antipodal_radius);
    report.coverage = knowledge_coverage(layer, config.coverage_samples);
    report.voronoi = voronoi_analysis(layer, config.voronoi_samples);
    report.overlap = overlap_analysis(layer, config.exclusivity_samples);
    report.curvature = curvature_analysis(layer, config.curvature_top_n);
    report.lunes = lune_analysis(layer, positions);
    report.num_categories = layer.summaries().size();
    report.num_items = positions.size();
    report.explained_variance_ratio = explained_variance_ratio;
    return report;
}

}  // namespace vantorel::embed::navigator
