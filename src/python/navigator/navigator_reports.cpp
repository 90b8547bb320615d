#include "python/navigator/navigator_reports.hpp"

#include <utility>

#include "python/pipeline/item_results.hpp"

namespace vantorel::python {
namespace {

namespace nav = embed::navigator;

template <class Range>
Ref string_list(const Range& names) {
    Ref list = new_list(std::size(names));
    std::size_t i = 0;
    for (const std::string& name : names) set_item(list, i++, to_py(name));
    return list;
}

}  // namespace

PyNavigatorReport to_navigator_report(nav::NavigatorReport report) {
    PyNavigatorReport out;
    out.antipodal.reserve(report.antipodal.size());
    for (nav::AntipodalReport& a : report.antipodal) {
        out.antipodal.push_back({std::move(a.category_name), a.antipodal_coherence, a.antipodal_items.size(),
                                 std::move(a.dominant_antipodal_category)});
    }
    out.voronoi = std::move(report.voronoi.cells);
    out.top_curvature_triples = std::move(report.curvature.top_triples);
    out.lunes = std::move(report.lunes);
    const nav::KnowledgeCoverageReport& c = report.coverage;
    out.coverage = {c.coverage_fraction, c.covered_area, c.overlap_area, c.void_samples, c.total_samples};
    out.num_categories = report.num_categories;
    out.num_items = report.num_items;
    out.explained_variance_ratio = report.explained_variance_ratio;
    return out;
}

Class<PyNavigatorReport>& navigator_report_class() {
    using T = PyNavigatorReport;
    static Class<T> cls("NavigatorReport");
    static Class<T>& described =
        cls.getter<[](const T& v) { return to_list(antipodal_report_class(), v.antipodal); }>("antipodal")
            .getter<[](const T& v) { return coverage_report_class().make(v.coverage); }>("coverage")
            .getter<[](const T& v) { return to_list(voronoi_cell_class(), v.voronoi); }>("voronoi")
            .getter<[](const T& v) { return to_list(curvature_triple_class(), v.top_curvature_triples); }>(
                "top_curvature_triples")
            .getter<[](const T& v) { return to_list(lune_report_class(), v.lunes); }>("lunes")
            .getter<[](const T& v) { return to_py(v.num_categories); }>("num_categories")
            .getter<[](const T& v) { return to_py(v.num_items); }>("num_items")
            .getter<[](const T& v) { return to_py(v.explained_variance_ratio); }>("explained_variance_ratio");
    return described;
}

Class<PyAntipodalReport>& antipodal_report_class() {
    using T = PyAntipodalReport;
    static Class<T> cls("AntipodalReport");
    static Class<T>& described =
        cls.getter<[](const T& v) { return to_py(v.category_name); }>("category_name")
            .getter<[](const T& v) { return to_py(v.antipodal_coherence); }>("antipodal_coherence")
            .getter<[](const T& v) { return to_py(v.antipodal_item_count); }>("antipodal_item_count")
            .getter<[](const T& v) {
                return v.dominant_antipodal_category ? to_py(*v.dominant_antipodal_category) : none();
            }>("dominant_antipodal_category");
    return described;
}

Class<PyCoverageReport>& coverage_report_class() {
    using T = PyCoverageReport;
    static Class<T> cls("CoverageReport");
    static Class<T>& described = cls.getter<[](const T& v) { return to_py(v.coverage_fraction); }>("coverage_fraction")
                                     .getter<[](const T& v) { return to_py(v.covered_area); }>("covered_area")
                                     .getter<[](const T& v) { return to_py(v.overlap_area); }>("overlap_area")
                                     .getter<[](const T& v) { return to_py(v.void_samples); }>("void_samples")
                                     .getter<[](const T& v) { return to_py(v.total_samples); }>("total_samples");
    return described;
}

Class<nav::VoronoiCellReport>& voronoi_cell_class() {
    using T = nav::VoronoiCellReport;
    static Class<T> cls("VoronoiCell");
    static Class<T>& described =
        cls.getter<[](const T& v) { return to_py(v.category_name); }>("category_name")
            .getter<[](const T& v) { return to_py(v.cell_area); }>("cell_area")
            .getter<[](const T& v) { return to_py(std::uint64_t{v.item_count}); }>("item_count")
            .getter<[](const T& v) { return to_py(v.territorial_efficiency); }>("territorial_efficiency")
            .getter<[](const T& v) { return to_py(v.graph_neighbor_overlap); }>("graph_neighbor_overlap")
            .getter<[](const T& v) { return string_list(v.voronoi_neighbors); }>("voronoi_neighbors");
    return described;
}

Class<nav::CurvatureTriple>& curvature_triple_class() {
    using T = nav::CurvatureTriple;
    static Class<T> cls("CurvatureTriple");
    static Class<T>& described = cls.getter<[](const T& v) { return string_list(v.categories); }>("categories")
                                     .getter<[](const T& v) { return to_py(v.excess); }>("excess");
    return described;
}

Class<nav::LuneReport>& lune_report_class() {
    using T = nav::LuneReport;
    static Class<T> cls("LuneReport");
    static Class<T>& described =
        cls.getter<[](const T& v) { return to_py(v.category_a); }>("category_a")
            .getter<[](const T& v) { return to_py(v.category_b); }>("category_b")
            .getter<[](const T& v) { return to_py(std::uint64_t{v.a_leaning_count}); }>("a_leaning_count")
            .getter<[](const T& v) { return to_py(std::uint64_t{v.b_leaning_count}); }>("b_leaning_count")
            .getter<[](const T& v) { return to_py(std::uint64_t{v.on_bisector_count}); }>("on_bisector_count")
            .getter<[](const T& v) { return to_py(v.asymmetry); }>("asymmetry");
    return described;
}

}  // namespace vantorel::python
