#include "python/pipeline/category_results.hpp"

#include "core/format.hpp"
#include "python/pipeline/item_results.hpp"

namespace vantorel::python {
namespace {

template <class T>
Ref list_of(const std::vector<T>& values) {
    Ref list = new_list(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) set_item(list, i, to_py(values[i]));
    return list;
}

const char* true_false(bool v) { return v ? "true" : "false"; }

}  // namespace

std::vector<PyCategorySummary> to_category_summary_infos(const std::vector<embed::CategorySummary>& summaries) {
    std::vector<PyCategorySummary> out;
    out.reserve(summaries.size());
    for (const auto& s : summaries) {
        out.push_back({s.name, s.member_count, s.centroid.theta, s.centroid.phi, s.angular_spread, s.cohesion,
                       s.bridge_quality});
    }
    return out;
}

std::vector<PyBridgeItem> to_bridge_item_infos(std::span<const embed::BridgeItem> bridges) {
    std::vector<PyBridgeItem> out;
    out.reserve(bridges.size());
    for (const auto& b : bridges) {
        out.push_back({b.item_index, b.source_category, b.target_category, b.affinity_to_source, b.affinity_to_target,
                       b.bridge_strength, std::string(embed::bridge_classification_name(b.classification))});
    }
    return out;
}

PyCategoryPath to_category_path(const embed::CategoryPath& path) {
    PyCategoryPath out{path.total_distance, {}, path.path_confidence};
    out.steps.reserve(path.steps.size());
    for (const auto& s : path.steps) {
        out.steps.push_back({s.category_index, s.category_name, s.cumulative_distance,
                             to_bridge_item_infos(s.bridges_to_next), s.hop_confidence});
    }
    return out;
}

std::vector<PyDrillDown> to_drill_down_hits(const std::vector<embed::DrillDownResult>& hits) {
    std::vector<PyDrillDown> out;
    out.reserve(hits.size());
    for (const auto& h : hits) out.push_back({h.item_index, h.distance, h.used_inner_sphere});
    return out;
}

std::vector<PyInnerSphereReport> to_inner_sphere_infos(const std::vector<embed::InnerSphereReport>& reports) {
    std::vector<PyInnerSphereReport> out;
    out.reserve(reports.size());
    for (const auto& r : reports) {
        out.push_back({r.category_name, r.category_index, r.member_count, std::string(r.projection_type), r.inner_evr,
                       r.global_subset_evr, r.evr_improvement});
    }
    return out;
}

std::vector<PyDomainGroup> to_domain_group_infos(const std::vector<embed::DomainGroup>& groups) {
    std::vector<PyDomainGroup> out;
    out.reserve(groups.size());
    for (const auto& g : groups) {
        out.push_back({{g.member_categories.begin(), g.member_categories.end()}, g.category_names, g.centroid.theta,
                       g.centroid.phi, g.angular_spread, g.cohesion, g.total_items});
    }
    return out;
}

std::vector<PyProjectionWarning> to_projection_warning_infos(const std::vector<embed::ProjectionWarning>& warnings) {
    std::vector<PyProjectionWarning> out;
    out.reserve(warnings.size());
    for (const auto& w : warnings) out.push_back({w.message, w.evr, std::string(embed::severity_name(w.severity))});
    return out;
}

Class<PyCategorySummary>& category_summary_info_class() {
    using T = PyCategorySummary;
    static Class<T> cls("CategorySummaryInfo");
    static Class<T>& described =
        cls.getter<[](const T& v) { return to_py(v.name); }>("name")
            .getter<[](const T& v) { return to_py(v.member_count); }>("member_count")
            .getter<[](const T& v) { return to_py(v.centroid_theta); }>("centroid_theta")
            .getter<[](const T& v) { return to_py(v.centroid_phi); }>("centroid_phi")
            .getter<[](const T& v) { return to_py(v.angular_spread); }>("angular_spread")
            .getter<[](const T& v) { return to_py(v.cohesion); }>("cohesion")
            .getter<[](const T& v) { return to_py(v.bridge_quality); }>(
                "bridge_quality",
                "Mean territorial-adjusted bridge strength across outgoing edges.\n"
                "0.0 if this category has no bridged neighbors.")
            .repr<[](const T& v) {
                return core::format("CategorySummaryInfo(name={:?}, members={}, cohesion={:.4}, bridge_quality={:.4})",
                                    v.name, v.member_count, v.cohesion, v.bridge_quality);
            }>();
    return described;
}

Class<PyBridgeItem>& bridge_item_info_class() {
    using T = PyBridgeItem;
    static Class<T> cls("BridgeItemInfo");
    static Class<T>& described =
        cls.getter<[](const T& v) { return to_py(v.item_index); }>("item_index")
            .getter<[](const T& v) { return to_py(v.source_category); }>("source_category")
            .getter<[](const T& v) { return to_py(v.target_category); }>("target_category")
            .getter<[](const T& v) { return to_py(v.affinity_to_source); }>("affinity_to_source")
            .getter<[](const T& v) { return to_py(v.affinity_to_target); }>("affinity_to_target")
            .getter<[](const T& v) { return to_py(v.bridge_strength); }>("bridge_strength")
            .getter<[](const T& v) { return to_py(v.classification); }>(
                "classification", "One of \"Genuine\", \"OverlapArtifact\", or \"Weak\".")
            .repr<[](const T& v) {
                return core::format("BridgeItemInfo(item={}, src={}, tgt={}, strength={:.4}, class={})", v.item_index,
                                    v.source_category, v.target_category, v.bridge_strength, v.classification);
            }>();
    return described;
}

Class<PyCategoryPathStep>& category_path_step_class() {
    using T = PyCategoryPathStep;
    static Class<T> cls("CategoryPathStep");
    static Class<T>& described =
        cls.getter<[](const T& v) { return to_py(v.category_index); }>("category_index")
            .getter<[](const T& v) { return to_py(v.category_name); }>("category_name")
            .getter<[](const T& v) { return to_py(v.cumulative_distance); }>("cumulative_distance")
            .getter<[](const T& v) { return to_list(bridge_item_info_class(), v.bridges_to_next); }>("bridges_to_next")
            .getter<[](const T& v) { return to_py(v.hop_confidence); }>(
                "hop_confidence",
                "Spatial confidence of this hop: bridge_strength × territorial_factor.\n"
                "0.0 for the last step.")
            .repr<[](const T& v) {
                return core::format("CategoryPathStep(category={:?}, distance={:.4}, bridges={}, hop_conf={:.4})",
                                    v.category_name, v.cumulative_distance, v.bridges_to_next.size(), v.hop_confidence);
            }>();
    return described;
}

Class<PyCategoryPath>& category_path_result_class() {
    using T = PyCategoryPath;
    static Class<T> cls("CategoryPathResult");
    static Class<T>& described =
        cls.getter<[](const T& v) { return to_py(v.total_distance); }>("total_distance")
            .getter<[](const T& v) { return to_list(category_path_step_class(), v.steps); }>("steps")
            .getter<[](const T& v) { return to_py(v.path_confidence); }>(
                "path_confidence",
                "Product of all hop confidences along the path. Low values indicate\n"
                "the path routes through shaky connections.")
            .repr<[](const T& v) {
                return core::format("CategoryPathResult(steps={}, total_distance={:.4}, path_conf={:.4})",
                                    v.steps.size(), v.total_distance, v.path_confidence);
            }>();
    return described;
}

Class<PyDrillDown>& drill_down_hit_class() {
    using T = PyDrillDown;
    static Class<T> cls("DrillDownHit");
    static Class<T>& described =
        cls.getter<[](const T& v) { return to_py(v.item_index); }>("item_index")
            .getter<[](const T& v) { return to_py(v.distance); }>("distance")
            .getter<[](const T& v) { return to_py_bool(v.used_inner_sphere); }>("used_inner_sphere")
            .repr<[](const T& v) {
                return core::format("DrillDownHit(item={}, distance={:.4}, inner={})", v.item_index, v.distance,
                                    true_false(v.used_inner_sphere));
            }>();
    return described;
}

Class<PyInnerSphereReport>& inner_sphere_info_class() {
    using T = PyInnerSphereReport;
    static Class<T> cls("InnerSphereInfo");
    static Class<T>& described =
        cls.getter<[](const T& v) { return to_py(v.category_name); }>("category_name")
            .getter<[](const T& v) { return to_py(v.category_index); }>("category_index")
            .getter<[](const T& v) { return to_py(v.member_count); }>("member_count")
            .getter<[](const T& v) { return to_py(v.projection_type); }>("projection_type")
            .getter<[](const T& v) { return to_py(v.inner_evr); }>("inner_evr")
            .getter<[](const T& v) { return to_py(v.global_subset_evr); }>("global_subset_evr")
            .getter<[](const T& v) { return to_py(v.evr_improvement); }>("evr_improvement")
            .repr<[](const T& v) {
                return core::format("InnerSphereInfo(category={:?}, members={}, evr={:.4}, improvement={:.4})",
                                    v.category_name, v.member_count, v.inner_evr, v.evr_improvement);
            }>();
    return described;
}

Class<PyDomainGroup>& domain_group_info_class() {
    using T = PyDomainGroup;
    static Class<T> cls("DomainGroupInfo");
    static Class<T>& described =
        cls.getter<[](const T& v) { return list_of(v.member_categories); }>(
               "member_categories", "Indices of member categories in the category layer.")
            .getter<[](const T& v) {
                Ref list = new_list(v.category_names.size());
                for (std::size_t i = 0; i < v.category_names.size(); ++i) set_item(list, i, to_py(v.category_names[i]));
                return list;
            }>("category_names")
            .getter<[](const T& v) { return to_py(v.centroid_theta); }>("centroid_theta")
            .getter<[](const T& v) { return to_py(v.centroid_phi); }>("centroid_phi")
            .getter<[](const T& v) { return to_py(v.angular_spread); }>("angular_spread")
            .getter<[](const T& v) { return to_py(v.cohesion); }>("cohesion")
            .getter<[](const T& v) { return to_py(v.total_items); }>("total_items")
            .repr<[](const T& v) {
                return core::format("DomainGroupInfo(categories={}, items={}, cohesion={:.4})", v.category_names.size(),
                                    v.total_items, v.cohesion);
            }>();
    return described;
}

Class<PyProjectionWarning>& projection_warning_info_class() {
    using T = PyProjectionWarning;
    static Class<T> cls("ProjectionWarningInfo");
    static Class<T>& described =
        cls.getter<[](const T& v) { return to_py(v.message); }>("message")
            .getter<[](const T& v) { return to_py(v.evr); }>("evr")
            .getter<[](const T& v) { return to_py(v.severity); }>("severity", "\"Info\", \"Warning\", or \"Critical\".")
            .repr<[](const T& v) {
                return core::format("ProjectionWarningInfo(severity={}, evr={:.4}, msg={:?})", v.severity, v.evr,
                                    v.message);
            }>();
    return described;
}

}  // namespace vantorel::python
