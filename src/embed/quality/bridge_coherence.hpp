#pragma once

#include <string_view>

#include "embed/category/category_graph.hpp"
#include "embed/quality/quality_metric.hpp"

namespace vantorel::embed {

// Share of bridge items classified genuine.
class BridgeCoherence final : public QualityMetric {
public:
    [[nodiscard]] std::string_view name() const noexcept override { return "bridge_coherence"; }
    [[nodiscard]] double score(const VantorelPipeline& pipeline) const override;
};

// Genuine bridge items over all bridge items of the graph; 1.0 when it has none.
double bridge_coherence(const CategoryGraph& graph) noexcept;

}  // namespace vantorel::embed
