#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "embed/category/category_graph.hpp"

namespace vantorel::embed {

struct CategoryPathStep {
    std::size_t category_index = 0;
    std::string category_name;
    double cumulative_distance = 0.0;         // summed edge weights from the source
    std::vector<BridgeItem> bridges_to_next;  // at most three, strongest first; empty for the last step
    double hop_confidence = 0.0;              // 0 for the last step
};

struct CategoryPath {
    double total_distance = 0.0;
    std::vector<CategoryPathStep> steps;  // source first, target last
    double path_confidence = 0.0;
};

// A member of a category near a query, measured on the sphere that was used.
struct DrillDownResult {
    std::size_t item_index = 0;
    double distance = 0.0;  // radians
    bool used_inner_sphere = false;
};

}  // namespace vantorel::embed
