// A whole grid run of the tuner (default space, 7,290 trials) against single
// pipeline builds of the same corpus (1,000 × 64, 8 categories), for the
// default metric and for territorial health. Builds are timed around each
// run, so the ratio holds on a loaded machine too.
//
// Run: tuning_breakdown [threads]   (default: every CPU)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/task_arena.h>

#include "bench_common.hpp"
#include "embed/quality/metric_by_name.hpp"
#include "embed/tuning/tuner.hpp"

using namespace vantorel;
using bench::Clock;
using bench::ms_since;

namespace {

// Median of five single builds, in ms.
double one_build(const bench::LabelledCorpus& corpus) {
    std::vector<double> builds;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        const auto p = embed::VantorelPipeline::make(corpus.labels, corpus.rows);
        builds.push_back(ms_since(start));
    }
    std::ranges::sort(builds);
    return builds[builds.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<tbb::global_control> limit;
    if (argc > 1) limit.emplace(tbb::global_control::max_allowed_parallelism, std::strtoul(argv[1], nullptr, 10));
    const bench::LabelledCorpus corpus = bench::make_corpus(1000, 64, 8);
    std::printf("threads %d\n", tbb::this_task_arena::max_concurrency());
    for (const std::string_view name : {"default_composite", "territorial_health"}) {
        const std::unique_ptr<embed::QualityMetric> metric = embed::metric_by_name(name);
        const double before = one_build(corpus);
        const auto start = Clock::now();
        const auto tuned = embed::auto_tune(corpus.labels, corpus.rows, embed::SearchSpace{}, *metric,
                                            embed::strategy::Grid{}, embed::PipelineConfig{});
        const double total = ms_since(start);
        const double build = (before + one_build(corpus)) / 2;
        const std::size_t trials = tuned ? tuned->report.trials.size() + tuned->report.failures.size() : 0;
        std::printf("%-20.*s one build %7.2f ms   grid of %zu trials %9.1f ms = %7.1f builds  (aim: at most 200)\n",
                    static_cast<int>(name.size()), name.data(), build, trials, total, total / build);
    }
    return 0;
}
