// Where the time of a navigator run goes, step by step, with the default
// settings on a pipeline over the synthetic corpus (20,000 × 384, 20 categories).
#include <cstdio>
#include <vector>

#include "bench_common.hpp"
#include "embed/navigator/antipodal_analysis.hpp"
#include "embed/navigator/curvature_analysis.hpp"
#include "embed/navigator/knowledge_coverage.hpp"
#include "embed/navigator/lune_analysis.hpp"
#include "embed/navigator/overlap_analysis.hpp"
#include "embed/navigator/run_full_analysis.hpp"
#include "embed/navigator/voronoi_analysis.hpp"
#include "embed/pipeline/pipeline.hpp"

namespace {

using namespace vantorel;
using bench::Clock;
using bench::ms_since;

// Best of `runs` timings of f, in milliseconds.
template <class F>
double best_ms(int runs, const F& f) {
    double best = 0.0;
    for (int r = 0; r < runs; ++r) {
        const auto start = Clock::now();
        f();
        const double ms = ms_since(start);
        if (r == 0 || ms < best) best = ms;
    }
    return best;
}

}  // namespace

int main() {
    bench::LabelledCorpus corpus = bench::make_corpus(20000, 384, 20);
    const auto built = embed::VantorelPipeline::make(corpus.labels, std::move(corpus.rows));
    if (!built.has_value()) return 1;
    const embed::VantorelPipeline& pipeline = built.value();
    const embed::CategoryLayer& layer = pipeline.category_layer();
    const std::vector<core::SphericalPoint>& positions = layer.positions();
    const std::vector<std::string>& names = pipeline.categories();
    const embed::navigator::NavigatorConfig config;
    namespace nav = embed::navigator;

    constexpr int kRuns = 5;
    const double antipodal =
        best_ms(kRuns, [&] { nav::antipodal_analysis(layer, positions, names, config.antipodal_radius); });
    const double coverage = best_ms(kRuns, [&] { nav::knowledge_coverage(layer, config.coverage_samples); });
    const double voronoi = best_ms(kRuns, [&] { nav::voronoi_analysis(layer, config.voronoi_samples); });
    const double overlap = best_ms(kRuns, [&] { nav::overlap_analysis(layer, config.exclusivity_samples); });
    const double curvature = best_ms(kRuns, [&] { nav::curvature_analysis(layer, config.curvature_top_n); });
    const double lunes = best_ms(kRuns, [&] { nav::lune_analysis(layer, positions); });
    std::size_t lune_count = 0;
    const double total = best_ms(kRuns, [&] {
        const nav::NavigatorReport report =
            nav::run_full_analysis(layer, positions, names, config, pipeline.explained_variance_ratio());
        lune_count = report.lunes.size();
    });

    std::printf("navigator, n=20000, d=384, 20 categories, default settings (best of %d)\n", kRuns);
    std::printf("  antipodal analysis              %8.2f ms\n", antipodal);
    std::printf("  knowledge coverage              %8.2f ms\n", coverage);
    std::printf("  voronoi analysis                %8.2f ms\n", voronoi);
    std::printf("  overlap analysis                %8.2f ms\n", overlap);
    std::printf("  curvature analysis              %8.2f ms\n", curvature);
    std::printf("  lune analysis                   %8.2f ms  (%zu lunes)\n", lunes,
                lune_count);
    std::printf("  run_full_analysis               %8.2f ms\n", total);
    return 0;
}
