#pragma once

// Value classes of the category-level answers and the pipeline's
// diagnostics: read-only attributes and a repr, identity equality.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "embed/pipeline/pipeline.hpp"
#include "python/runtime/classes.hpp"

namespace vantorel::python {

struct PyCategorySummary {
    std::string name;
    std::uint64_t member_count = 0;
    double centroid_theta = 0.0;
    double centroid_phi = 0.0;
    double angular_spread = 0.0;
    double cohesion = 0.0;
    double bridge_quality = 0.0;
};

struct PyBridgeItem {
    std::uint64_t item_index = 0;
    std::uint64_t source_category = 0;
    std::uint64_t target_category = 0;
    double affinity_to_source = 0.0;
    double affinity_to_target = 0.0;
    double bridge_strength = 0.0;
    std::string classification;  // "Genuine", "OverlapArtifact" or "Weak"
};

struct PyCategoryPathStep {
    std::uint64_t category_index = 0;
    std::string category_name;
    double cumulative_distance = 0.0;
    std::vector<PyBridgeItem> bridges_to_next;
    double hop_confidence = 0.0;
};

struct PyCategoryPath {
    double total_distance = 0.0;
    std::vector<PyCategoryPathStep> steps;
    double path_confidence = 0.0;
};

struct PyDrillDown {
    std::uint64_t item_index = 0;
    double distance = 0.0;
    bool used_inner_sphere = false;
};

struct PyInnerSphereReport {
    std::string category_name;
    std::uint64_t category_index = 0;
    std::uint64_t member_count = 0;
    std::string projection_type;  // "LinearPca" or "KernelPca"
    double inner_evr = 0.0;
    double global_subset_evr = 0.0;
    double evr_improvement = 0.0;
};

struct PyDomainGroup {
    std::vector<std::uint64_t> member_categories;
    std::vector<std::string> category_names;
    double centroid_theta = 0.0;
    double centroid_phi = 0.0;
    double angular_spread = 0.0;
    double cohesion = 0.0;
    std::uint64_t total_items = 0;
};

struct PyProjectionWarning {
    std::string message;
    double evr = 0.0;
    std::string severity;  // "Info", "Warning" or "Critical"
};

// Values from the engine's records, in the engine's order.
std::vector<PyCategorySummary> to_category_summary_infos(const std::vector<embed::CategorySummary>& summaries);
std::vector<PyBridgeItem> to_bridge_item_infos(std::span<const embed::BridgeItem> bridges);
PyCategoryPath to_category_path(const embed::CategoryPath& path);
std::vector<PyDrillDown> to_drill_down_hits(const std::vector<embed::DrillDownResult>& hits);
std::vector<PyInnerSphereReport> to_inner_sphere_infos(const std::vector<embed::InnerSphereReport>& reports);
std::vector<PyDomainGroup> to_domain_group_infos(const std::vector<embed::DomainGroup>& groups);
std::vector<PyProjectionWarning> to_projection_warning_infos(const std::vector<embed::ProjectionWarning>& warnings);

Class<PyCategorySummary>& category_summary_info_class();
Class<PyBridgeItem>& bridge_item_info_class();
Class<PyCategoryPathStep>& category_path_step_class();
Class<PyCategoryPath>& category_path_result_class();
Class<PyDrillDown>& drill_down_hit_class();
Class<PyInnerSphereReport>& inner_sphere_info_class();
Class<PyDomainGroup>& domain_group_info_class();
Class<PyProjectionWarning>& projection_warning_info_class();

}  // namespace vantorel::python
