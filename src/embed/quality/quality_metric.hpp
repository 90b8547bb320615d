#pragma once

#include <string_view>

namespace vantorel::embed {

class VantorelPipeline;

// Condenses a built pipeline into one score, higher meaning a better
// arrangement of its categories on the sphere. Scoring reads the pipeline
// only and keeps nothing, so one metric may score from several threads at once.
class QualityMetric {
public:
    virtual ~QualityMetric() = default;

    [[nodiscard]] virtual std::string_view name() const noexcept = 0;
    [[nodiscard]] virtual double score(const VantorelPipeline& pipeline) const = 0;

protected:
    // Concrete metrics move as values; only a whole metric moves, never its base part.
    QualityMetric() = default;
    QualityMetric(const QualityMetric&) = default;
    QualityMetric(QualityMetric&&) = default;
    QualityMetric& operator=(const QualityMetric&) = default;
    QualityMetric& operator=(QualityMetric&&) = default;
};

}  // namespace vantorel::embed
