#include "embed/quality/metric_by_name.hpp"

#include "embed/quality/bridge_coherence.hpp"
#include "embed/quality/cluster_silhouette.hpp"
#include "embed/quality/composite_metric.hpp"
#include "embed/quality/graph_modularity.hpp"
#include "embed/quality/territorial_health.hpp"

namespace vantorel::embed {

std::unique_ptr<QualityMetric> metric_by_name(std::string_view name) {
    if (name == "territorial_health") return std::make_unique<TerritorialHealth>();
    if (name == "bridge_coherence") return std::make_unique<BridgeCoherence>();
    if (name == "cluster_silhouette") return std::make_unique<ClusterSilhouette>();
    if (name == "graph_modularity") return std::make_unique<GraphModularity>(15);
    if (name == "default_composite") return std::make_unique<CompositeMetric>(CompositeMetric::default_composite());
    if (name == "connectivity_composite") {
        return std::make_unique<CompositeMetric>(CompositeMetric::connectivity_composite());
    }
    return nullptr;
}

}  // namespace vantorel::embed
