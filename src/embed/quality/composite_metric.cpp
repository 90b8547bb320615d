#include "embed/quality/composite_metric.hpp"

#include <utility>

#include "core/numeric.hpp"
#include "embed/quality/bridge_coherence.hpp"
#include "embed/quality/cluster_silhouette.hpp"
#include "embed/quality/graph_modularity.hpp"
#include "embed/quality/territorial_health.hpp"

namespace vantorel::embed {

CompositeMetric CompositeMetric::make(std::string_view name, std::vector<WeightedMetric> components) {
    std::vector<WeightedMetric> kept;
    double total = 0.0;
    for (WeightedMetric& c : components) {
        if (!(c.weight > 0.0)) continue;
        total += c.weight;
        kept.push_back(std::move(c));
    }
    if (total > 0.0) {
        for (WeightedMetric& c : kept) c.weight /= total;
    } else {
        kept.clear();
    }
    return CompositeMetric(std::string(name), std::move(kept));
}

CompositeMetric CompositeMetric::default_composite() {
    std::vector<WeightedMetric> components;
    components.push_back({std::make_unique<BridgeCoherence>(), 0.40});
    components.push_back({std::make_unique<TerritorialHealth>(), 0.35});
    components.push_back({std::make_unique<ClusterSilhouette>(), 0.25});
    return make("default_composite", std::move(components));
}

CompositeMetric CompositeMetric::connectivity_composite() {
    std::vector<WeightedMetric> components;
    components.push_back({std::make_unique<GraphModularity>(15), 0.5});
    components.push_back({std::make_unique<BridgeCoherence>(), 0.3});
    components.push_back({std::make_unique<TerritorialHealth>(), 0.2});
    return make("connectivity_composite", std::move(components));
}

double CompositeMetric::score(const VantorelPipeline& pipeline) const {
    return score_reusing(pipeline, BasisScores{});
}

void CompositeMetric::add_basis_scores(const VantorelPipeline& pipeline, BasisScores& scores) const {
    for (const WeightedMetric& c : components_) c.metric->add_basis_scores(pipeline, scores);
}

double CompositeMetric::score_reusing(const VantorelPipeline& pipeline, const BasisScores& scores) const {
    if (components_.empty()) return 0.0;
    double sum = 0.0;
    for (const WeightedMetric& c : components_) sum += c.metric->score_reusing(pipeline, scores) * c.weight;
    return core::clamp_unit(sum);
}

}  // namespace vantorel::embed
