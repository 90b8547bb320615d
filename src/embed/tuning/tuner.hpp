#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/expected.hpp"
#include "embed/config.hpp"
#include "embed/embedding.hpp"
#include "embed/pipeline/pipeline.hpp"
#include "embed/quality/quality_metric.hpp"
#include "embed/tuning/search_space.hpp"
#include "embed/tuning/search_strategy.hpp"
#include "embed/tuning/tune_report.hpp"

namespace vantorel::embed {

struct TunedPipeline {
    VantorelPipeline pipeline;  // built with the best configuration
    TuneReport report;
};

// The name of the first candidate list a Random or Bayesian draw could need
// that is empty: `projection_kinds`, the six common lists, and the two
// Laplacian lists when LaplacianEigenmap is a candidate kind.
std::optional<std::string_view> empty_list_a_draw_needs(const SearchSpace& space);

// Why a run of `strategy` over `space` cannot start: a Bayesian budget below
// 2, or an empty list a draw needs; none when it can.
std::optional<std::string> strategy_refusal(const SearchStrategy& strategy, const SearchSpace& space);

// Tries configurations of `space` (knobs it does not tune keep `base`'s
// values), scores each built pipeline with `metric` and returns the pipeline
// of the best one, rebuilt from `categories` and `embeddings`, with the
// report. A trial that cannot be built is recorded as a failure; the run
// fails only when no trial scored or the final build fails. Fitted
// projections are shared by trials with the same fit settings.
//
// Trials that do not depend on each other (grid, random, Bayesian warm-up)
// run in parallel, so `metric` scores from several threads at once; the
// report is that of running every trial in turn, trial times aside.
//
// A run that `strategy_refusal` refuses stops as a broken invariant, with
// that text, before any trial.
core::Expected<TunedPipeline, PipelineError> auto_tune(std::vector<std::string> categories, Corpus embeddings,
                                                       const SearchSpace& space, const QualityMetric& metric,
                                                       const SearchStrategy& strategy, const PipelineConfig& base);

}  // namespace vantorel::embed
