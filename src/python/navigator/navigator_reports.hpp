#pragma once

// The navigator's report classes: plain copies of the parts of the engine's
// report that Python sees, read-only, without constructor or repr.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "embed/navigator/navigator_report.hpp"
#include "python/runtime/classes.hpp"

namespace vantorel::python {

struct PyAntipodalReport {
    std::string category_name;
    double antipodal_coherence = 0.0;
    std::uint64_t antipodal_item_count = 0;
    std::optional<std::string> dominant_antipodal_category;
};

struct PyCoverageReport {
    double coverage_fraction = 0.0;
    double covered_area = 0.0;
    double overlap_area = 0.0;
    std::uint64_t void_samples = 0;
    std::uint64_t total_samples = 0;
};

// Voronoi cells, curvature triples and lunes are kept as the engine gives
// them; a lune's midpoint intrusion is simply not shown.
struct PyNavigatorReport {
    std::vector<PyAntipodalReport> antipodal;
    PyCoverageReport coverage;
    std::vector<embed::navigator::VoronoiCellReport> voronoi;
    std::vector<embed::navigator::CurvatureTriple> top_curvature_triples;
    std::vector<embed::navigator::LuneReport> lunes;
    std::uint64_t num_categories = 0;
    std::uint64_t num_items = 0;
    double explained_variance_ratio = 0.0;
};

// Takes what Python keeps of the engine's report, moving its strings.
PyNavigatorReport to_navigator_report(embed::navigator::NavigatorReport report);

Class<PyNavigatorReport>& navigator_report_class();
Class<PyAntipodalReport>& antipodal_report_class();
Class<PyCoverageReport>& coverage_report_class();
Class<embed::navigator::VoronoiCellReport>& voronoi_cell_class();
Class<embed::navigator::CurvatureTriple>& curvature_triple_class();
Class<embed::navigator::LuneReport>& lune_report_class();

}  // namespace vantorel::python
