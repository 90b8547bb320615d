#pragma once

#include <cstddef>
#include <string_view>

#include "embed/category/spatial_quality.hpp"
#include "embed/quality/quality_metric.hpp"

namespace vantorel::embed {

// Mean territorial factor over all category pairs: high when categories keep
// their caps to themselves.
class TerritorialHealth final : public QualityMetric {
public:
    [[nodiscard]] std::string_view name() const noexcept override { return "territorial_health"; }
    [[nodiscard]] double score(const VantorelPipeline& pipeline) const override;
    [[nodiscard]] bool reads_basis_only() const noexcept override { return true; }
};

// The score for `categories` categories with the layer's spatial quality; 1.0
// below two categories.
double territorial_health(std::size_t categories, const SpatialQuality& quality) noexcept;

}  // namespace vantorel::embed
