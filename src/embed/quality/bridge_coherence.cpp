#include "embed/quality/bridge_coherence.hpp"

#include <cstddef>

#include "embed/pipeline/pipeline.hpp"

namespace vantorel::embed {

double bridge_coherence(const CategoryGraph& graph) noexcept {
    std::size_t total = 0;
    std::size_t genuine = 0;
    for (const auto& [pair, items] : graph.bridges) {
        total += items.size();
        for (const BridgeItem& item : items) {
            if (item.classification == BridgeClassification::Genuine) ++genuine;
        }
    }
    if (total == 0) return 1.0;
    return static_cast<double>(genuine) / static_cast<double>(total);
}

double BridgeCoherence::score(const VantorelPipeline& pipeline) const {
    return bridge_coherence(pipeline.category_layer().graph());
}

}  // namespace vantorel::embed
