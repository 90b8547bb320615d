#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "embed/config.hpp"
#include "embed/pipeline/pipeline_error.hpp"

namespace vantorel::embed {

// One scored trial of a tuning run.
struct TrialResult {
    // Whole milliseconds from just after the projection was obtained to just
    // after the score (building the pipeline and scoring it).
    std::uint64_t elapsed_ms = 0;
    double score = 0.0;
    PipelineConfig config;
};

// What a tuning run tried and what won.
struct TuneReport {
    std::string metric_name;
    std::vector<TrialResult> trials;      // scored trials, run order
    std::vector<TrialFailure> failures;   // failed trials, run order
    PipelineConfig best_config;
    double best_score = 0.0;

    // Sum of the trial scores in run order over their count; 0 without trials.
    [[nodiscard]] double mean_score() const noexcept;
};

}  // namespace vantorel::embed
