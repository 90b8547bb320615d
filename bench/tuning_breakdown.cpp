// A whole grid run of the tuner (default space, 7,290 trials) against single
// pipeline builds of the same corpus (1,000 × 64, 8 categories), and where
// each trial's time goes: building the pipeline or scoring it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "bench_common.hpp"
#include "embed/quality/territorial_health.hpp"
#include "embed/tuning/tuner.hpp"

using namespace vantorel;
using bench::Clock;
using bench::ms_since;

namespace {

// Territorial health that also adds up the time spent scoring.
class TimedMetric final : public embed::QualityMetric {
public:
    [[nodiscard]] std::string_view name() const noexcept override { return inner_.name(); }
    [[nodiscard]] double score(const embed::VantorelPipeline& p) const override {
        const auto start = Clock::now();
        const double s = inner_.score(p);
        score_ms += ms_since(start);
        return s;
    }
    mutable double score_ms = 0.0;

private:
    embed::TerritorialHealth inner_;
};

}  // namespace

int main() {
    const bench::LabelledCorpus corpus = bench::make_corpus(1000, 64, 8);
    std::vector<double> builds;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        const auto p = embed::VantorelPipeline::make(corpus.labels, corpus.rows);
        builds.push_back(ms_since(start));
    }
    std::ranges::sort(builds);
    const double build = builds[builds.size() / 2];

    TimedMetric metric;
    const auto start = Clock::now();
    const auto tuned = embed::auto_tune(corpus.labels, corpus.rows, embed::SearchSpace{}, metric,
                                        embed::strategy::Grid{}, embed::PipelineConfig{});
    const double total = ms_since(start);
    const std::size_t trials = tuned ? tuned->report.trials.size() + tuned->report.failures.size() : 0;
    const double per_trial = total / static_cast<double>(std::max<std::size_t>(trials, 1));
    const double score_per_trial = metric.score_ms / static_cast<double>(std::max<std::size_t>(trials, 1));

    std::printf("one Pipeline build (median of 5)   %10.2f ms\n", build);
    std::printf("grid run, %zu trials             %10.1f ms\n", trials, total);
    std::printf("  per trial                        %10.3f ms  (build %.3f ms, scoring %.4f ms)\n", per_trial,
                per_trial - score_per_trial, score_per_trial);
    std::printf("  grid / one build                 %10.1f builds  (aim: at most 500)\n", total / build);
    return 0;
}
