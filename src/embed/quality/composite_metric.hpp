#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "embed/quality/quality_metric.hpp"

namespace vantorel::embed {

struct WeightedMetric {
    std::unique_ptr<QualityMetric> metric;
    double weight = 0.0;
};

// Weighted sum of component scores, clamped to [0, 1]. After construction
// every weight is positive and the weights sum to 1 up to rounding, or there
// are no components (and the score is 0).
class CompositeMetric final : public QualityMetric {
public:
    // Keeps the components of positive weight, in order, and scales their
    // weights to sum to 1; the others (a NaN weight included) are dropped.
    static CompositeMetric make(std::string_view name, std::vector<WeightedMetric> components);

    // 0.40 bridge coherence, 0.35 territorial health, 0.25 cluster silhouette.
    static CompositeMetric default_composite();
    // 0.5 graph modularity (k = 15), 0.3 bridge coherence, 0.2 territorial health.
    static CompositeMetric connectivity_composite();

    [[nodiscard]] const std::vector<WeightedMetric>& components() const noexcept { return components_; }
    [[nodiscard]] std::string_view name() const noexcept override { return name_; }
    [[nodiscard]] double score(const VantorelPipeline& pipeline) const override;
    // The basis-only parts of the components.
    void add_basis_scores(const VantorelPipeline& pipeline, BasisScores& scores) const override;
    // `score` is this sum with no scores given, so a reused part changes no bit.
    [[nodiscard]] double score_reusing(const VantorelPipeline& pipeline, const BasisScores& scores) const override;

private:
    CompositeMetric(std::string name, std::vector<WeightedMetric> components)
        : name_(std::move(name)), components_(std::move(components)) {}

    std::string name_;
    std::vector<WeightedMetric> components_;
};

}  // namespace vantorel::embed
