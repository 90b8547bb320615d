// The module's entry point and registration table.
#include "python/feedback/feedback.hpp"
#include "python/meta/meta.hpp"
#include "python/navigator/navigator.hpp"
#include "python/navigator/navigator_reports.hpp"
#include "python/pipeline/category_results.hpp"
#include "python/pipeline/item_results.hpp"
#include "python/pipeline/pipeline.hpp"
#include "python/points/geometry_functions.hpp"
#include "python/points/points.hpp"
#include "python/projection/projection.hpp"
#include "python/tuning/tuning.hpp"
#include "python/vectordb/vectordb.hpp"
#include "python/viz/viz.hpp"

namespace vantorel::python {
namespace {

// One step of the module body: a name and the object it is bound to.
struct Registration {
    const char* name;
    Ref (*create)(PyObject* module);
};

template <auto ClassFn>
Ref class_entry(PyObject*) {
    return type_object(ClassFn());
}

template <auto DefFn>
Ref function_entry(PyObject* module) {
    return new_function(DefFn(), module);
}

const Registration kRegistrations[] = {
    {"SphericalPoint", class_entry<spherical_point_class>},
    {"CartesianPoint", class_entry<cartesian_point_class>},
    {"GeoPoint", class_entry<geo_point_class>},
    {"angular_distance", function_entry<angular_distance_def>},
    {"great_circle_distance", function_entry<great_circle_distance_def>},
    {"chord_distance", function_entry<chord_distance_def>},
    {"spherical_to_cartesian", function_entry<spherical_to_cartesian_def>},
    {"cartesian_to_spherical", function_entry<cartesian_to_spherical_def>},
    {"spherical_to_geo", function_entry<spherical_to_geo_def>},
    {"geo_to_spherical", function_entry<geo_to_spherical_def>},
    {"ProjectedPoint", class_entry<projected_point_class>},
    {"PcaProjection", class_entry<pca_projection_class>},
    {"RandomProjection", class_entry<random_projection_class>},
    {"KernelPcaProjection", class_entry<kernel_pca_projection_class>},
    {"LaplacianEigenmap", class_entry<laplacian_eigenmap_class>},
    {"Pipeline", class_entry<pipeline_class>},
    {"NearestHit", class_entry<nearest_hit_class>},
    {"PathResult", class_entry<path_result_class>},
    {"PathStep", class_entry<path_step_class>},
    {"GlobInfo", class_entry<glob_info_class>},
    {"ManifoldInfo", class_entry<manifold_info_class>},
    {"CategorySummaryInfo", class_entry<category_summary_info_class>},
    {"BridgeItemInfo", class_entry<bridge_item_info_class>},
    {"CategoryPathStep", class_entry<category_path_step_class>},
    {"CategoryPathResult", class_entry<category_path_result_class>},
    {"DrillDownHit", class_entry<drill_down_hit_class>},
    {"InnerSphereInfo", class_entry<inner_sphere_info_class>},
    {"DomainGroupInfo", class_entry<domain_group_info_class>},
    {"ProjectionWarningInfo", class_entry<projection_warning_info_class>},
    {"NavigatorConfig", class_entry<navigator_config_class>},
    {"NavigatorReport", class_entry<navigator_report_class>},
    {"AntipodalReport", class_entry<antipodal_report_class>},
    {"CoverageReport", class_entry<coverage_report_class>},
    {"VoronoiCell", class_entry<voronoi_cell_class>},
    {"CurvatureTriple", class_entry<curvature_triple_class>},
    {"LuneReport", class_entry<lune_report_class>},
    {"run_navigator", function_entry<run_navigator_def>},
    {"visualize", function_entry<visualize_def>},
    {"visualize_pipeline", function_entry<visualize_pipeline_def>},
    {"corpus_features", function_entry<corpus_features_def>},
    {"auto_tune", function_entry<auto_tune_def>},
    {"load_default_store", function_entry<load_default_store_def>},
    {"append_to_default_store", function_entry<append_to_default_store_def>},
    {"NearestNeighborMetaModel", class_entry<nearest_neighbor_meta_model_class>},
    {"DistanceWeightedMetaModel", class_entry<distance_weighted_meta_model_class>},
    {"FeedbackEvent", class_entry<feedback_event_class>},
    {"FeedbackAggregator", class_entry<feedback_aggregator_class>},
    {"InMemoryStore", class_entry<in_memory_store_class>},
    {"VectorStoreBridge", class_entry<vector_store_bridge_class>},
};

int exec_module(PyObject* module) {
    return guarded_status([module] {
        if (!PyModule_Check(module)) raise_cast_error(module, "PyModule");
        for (const Registration& step : kRegistrations) {
            Ref object = step.create(module);
            if (PyModule_AddObjectRef(module, step.name, object.get()) < 0) throw PyErrorSet{};
        }
        return 0;
    });
}

PyModuleDef_Slot kSlots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_module)},
    {0, nullptr},
};

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT, "vantorel", "", 0, nullptr, kSlots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace vantorel::python

PyMODINIT_FUNC PyInit_vantorel() { return PyModuleDef_Init(&vantorel::python::kModule); }
