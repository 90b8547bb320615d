#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "core/types.hpp"
#include "embed/quality/quality_metric.hpp"

namespace vantorel::embed {

// Mean silhouette of the exported points under the category partition, by
// angular distance, mapped from [-1, 1] to [0, 1].
class ClusterSilhouette final : public QualityMetric {
public:
    [[nodiscard]] std::string_view name() const noexcept override { return "cluster_silhouette"; }
    [[nodiscard]] double score(const VantorelPipeline& pipeline) const override;
    [[nodiscard]] bool reads_basis_only() const noexcept override { return true; }
};

// The score of positions labelled with category indices below `categories`
// (kNoCategory leaves a point out). Points are spread over threads, but each
// point's sums and the sum over points keep one order, so the result does not
// depend on the thread count.
double cluster_silhouette(std::span<const core::SphericalPoint> positions, std::span<const std::size_t> labels,
                          std::size_t categories);

namespace detail {
// Every grouped position's sums of angles to each group, its own entry left
// out: rows in group order, one entry per group. By the pair sweep (each
// angle computed once) or by a scan of each row; the two must agree to the
// bit, which is what this exists to show.
std::vector<double> group_angle_sums(std::span<const core::SphericalPoint> positions,
                                     std::span<const std::size_t> labels, std::size_t categories, bool pair_sweep);
}  // namespace detail

}  // namespace vantorel::embed
