#pragma once

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace vantorel::embed {

class VantorelPipeline;
class QualityMetric;

// The scores of basis-only metrics (QualityMetric::reads_basis_only) on one
// pipeline, by metric; they hold for every pipeline of the same basis.
class BasisScores {
public:
    [[nodiscard]] std::optional<double> find(const QualityMetric& metric) const noexcept {
        for (const auto& [m, score] : scores_) {
            if (m == &metric) return score;
        }
        return std::nullopt;
    }
    void add(const QualityMetric& metric, double score) { scores_.emplace_back(&metric, score); }

private:
    std::vector<std::pair<const QualityMetric*, double>> scores_;
};

// Condenses a built pipeline into one score, higher meaning a better
// arrangement of its categories on the sphere. Scoring reads the pipeline
// only and keeps nothing, so one metric may score from several threads at once.
class QualityMetric {
public:
    virtual ~QualityMetric() = default;

    [[nodiscard]] virtual std::string_view name() const noexcept = 0;
    [[nodiscard]] virtual double score(const VantorelPipeline& pipeline) const = 0;

    // Whether the score reads only what every pipeline built from one
    // PipelineBasis shares (the exported points, the category names and
    // indices, the exclusivities) and nothing the bridge, margin or routing
    // settings shape; one score then serves all of those pipelines.
    [[nodiscard]] virtual bool reads_basis_only() const noexcept { return false; }
    // Adds the basis-only parts of this metric, scored on `pipeline`, to `scores`.
    virtual void add_basis_scores(const VantorelPipeline& pipeline, BasisScores& scores) const {
        if (reads_basis_only()) scores.add(*this, score(pipeline));
    }
    // `score(pipeline)`, taking every part found in `scores` from there; those
    // must come from a pipeline of the same basis.
    [[nodiscard]] virtual double score_reusing(const VantorelPipeline& pipeline, const BasisScores& scores) const {
        if (const std::optional<double> found = scores.find(*this)) return *found;
        return score(pipeline);
    }

protected:
    // Concrete metrics move as values; only a whole metric moves, never its base part.
    QualityMetric() = default;
    QualityMetric(const QualityMetric&) = default;
    QualityMetric(QualityMetric&&) = default;
    QualityMetric& operator=(const QualityMetric&) = default;
    QualityMetric& operator=(QualityMetric&&) = default;
};

}  // namespace vantorel::embed
