#pragma once

#include <array>
#include <memory>
#include <string_view>

#include "embed/quality/quality_metric.hpp"

namespace vantorel::embed {

// The names a caller may choose a metric by, in the order messages list them.
inline constexpr std::array<std::string_view, 6> kMetricNames = {
    "territorial_health", "bridge_coherence",  "cluster_silhouette",
    "graph_modularity",   "default_composite", "connectivity_composite"};

// The metric a name selects (exact, case-sensitive; "graph_modularity" with
// k = 15), or null for any other name. The metric's own name is the one asked for.
std::unique_ptr<QualityMetric> metric_by_name(std::string_view name);

}  // namespace vantorel::embed
