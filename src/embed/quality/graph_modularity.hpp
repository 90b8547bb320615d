#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "core/types.hpp"
#include "embed/quality/quality_metric.hpp"

namespace vantorel::embed {

// Newman modularity of the k-nearest-neighbour graph of the exported points
// under the category partition, clamped to [0, 1].
class GraphModularity final : public QualityMetric {
public:
    explicit GraphModularity(std::size_t k) noexcept : k_(k) {}

    [[nodiscard]] std::size_t k() const noexcept { return k_; }
    [[nodiscard]] std::string_view name() const noexcept override { return "graph_modularity"; }
    [[nodiscard]] double score(const VantorelPipeline& pipeline) const override;
    [[nodiscard]] bool reads_basis_only() const noexcept override { return true; }

private:
    std::size_t k_;
};

// The score of positions labelled with category indices below `categories`
// (a kNoCategory point takes part in the graph but in no category). Each point
// links to its k nearest others (k of 0 counts as 1) by angular distance under
// the IEEE total order, the smaller index first among equal distances.
double graph_modularity(std::span<const core::SphericalPoint> positions, std::span<const std::size_t> labels,
                        std::size_t categories, std::size_t k);

}  // namespace vantorel::embed
