#include "embed/tuning/tuner.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <type_traits>
#include <unordered_map>

#include "core/interrupt.hpp"
#include "core/invariant.hpp"
#include "embed/tuning/generator.hpp"
#include "embed/tuning/projection_fit_key.hpp"
#include "embed/tuning/tpe.hpp"

namespace vantorel::embed {
namespace {

constexpr double kMinGamma = 0.05;
constexpr double kMaxGamma = 0.95;

// A fitted projection and, once a trial has prepared it, the basis that
// every configuration with the projection's key builds from, with the scores
// of the metric's basis-only parts, which all those pipelines share.
struct Fitted {
    ConfiguredProjection projection;
    std::optional<PipelineBasis> basis;
    BasisScores basis_scores;
};

// The state of one run: the corpus, the fits so far and what the trials gave.
// Within a run only the tuned knobs vary, and of those only the fit key
// reaches a basis, so one basis per key serves every trial with that key;
// the trial pipelines are what fresh builds give.
class Run {
public:
    Run(const std::vector<std::string>& categories, const Corpus& embeddings, const QualityMetric& metric)
        : categories_(categories), embeddings_(embeddings), metric_(metric) {}

    void trial(const PipelineConfig& config) {
        core::check_interrupt();
        const ProjectionFitKey key = ProjectionFitKey::of(config);
        auto cached = fits_.find(key);
        if (cached == fits_.end()) {
            auto fitted = fit_projection_for_config(embeddings_, config);
            if (!fitted) {
                // Not cached: a later trial with this key fits again.
                failures_.emplace_back(config, fitted.error().message());
                return;
            }
            cached = fits_.emplace(key, Fitted{std::move(fitted).value(), std::nullopt, {}}).first;
        }
        Fitted& fit = cached->second;
        const auto start = std::chrono::steady_clock::now();
        const bool new_basis = !fit.basis;
        if (new_basis) {
            auto basis = VantorelPipeline::prepare(categories_, embeddings_, fit.projection, config);
            if (!basis) {
                failures_.emplace_back(config, basis.error().message());
                return;
            }
            fit.basis.emplace(std::move(basis).value());
        }
        auto built = VantorelPipeline::from_basis(*fit.basis, categories_, embeddings_, config);
        if (!built) {
            failures_.emplace_back(config, built.error().message());
            return;
        }
        if (new_basis) metric_.add_basis_scores(*built, fit.basis_scores);
        const double score = metric_.score_reusing(*built, fit.basis_scores);
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        trials_.push_back({static_cast<std::uint64_t>(elapsed.count()), score, config});
    }

    [[nodiscard]] const std::vector<TrialResult>& trials() const noexcept { return trials_; }
    [[nodiscard]] std::vector<TrialResult>& trials() noexcept { return trials_; }
    [[nodiscard]] std::vector<TrialFailure>& failures() noexcept { return failures_; }

    // A copy of the projection fitted for `config`'s key, fitting it when absent.
    core::Expected<ConfiguredProjection, ProjectionError> projection_for(const PipelineConfig& config) const {
        const auto cached = fits_.find(ProjectionFitKey::of(config));
        if (cached != fits_.end()) return cached->second.projection;
        return fit_projection_for_config(embeddings_, config);
    }

private:
    const std::vector<std::string>& categories_;
    const Corpus& embeddings_;
    const QualityMetric& metric_;
    std::unordered_map<ProjectionFitKey, Fitted, ProjectionFitKeyHash> fits_;
    std::vector<TrialResult> trials_;
    std::vector<TrialFailure> failures_;
};

void run_grid(Run& run, const SearchSpace& space, const PipelineConfig& base) {
    const std::uint64_t count = space.grid_cardinality();
    for (std::uint64_t i = 0; i < count; ++i) {
        if (const auto config = space.config_at_index(i, base)) run.trial(*config);
    }
}

void run_random(Run& run, const SearchSpace& space, const PipelineConfig& base, const strategy::Random& s) {
    std::uint64_t state = s.seed;
    for (std::uint64_t i = 0; i < s.budget; ++i) run.trial(space.sample(state, base));
}

void run_bayesian(Run& run, const SearchSpace& space, const PipelineConfig& base, const strategy::Bayesian& s) {
    if (s.budget < 2) core::stop("bayesian strategy needs budget >= 2");
    std::uint64_t state = s.seed;
    const std::uint64_t warmup = std::clamp<std::uint64_t>(s.warmup, 2, s.budget);
    // std::clamp passes NaN through, as the proposal's gamma must.
    const double gamma = std::clamp(s.gamma, kMinGamma, kMaxGamma);
    for (std::uint64_t i = 0; i < warmup; ++i) run.trial(space.sample(state, base));
    for (std::uint64_t i = warmup; i < s.budget; ++i) run.trial(tpe_propose(space, base, run.trials(), state, gamma));
}

// The first trial, replaced by each later one unless the current best scores
// strictly higher; a NaN score never replaces nor is kept over a number.
const TrialResult& best_of(const std::vector<TrialResult>& trials) {
    const TrialResult* best = &trials.front();
    for (const TrialResult& t : trials) {
        if (std::isnan(t.score)) continue;
        if (std::isnan(best->score) || !(best->score > t.score)) best = &t;
    }
    return *best;
}

}  // namespace

std::optional<std::string_view> empty_list_a_draw_needs(const SearchSpace& space) {
    if (space.projection_kinds.empty()) return "projection_kinds";
    const bool laplacian = std::ranges::find(space.projection_kinds, ProjectionKind::LaplacianEigenmap) !=
                           space.projection_kinds.end();
    std::optional<std::string_view> empty;
    SearchSpace::fields(space, [&](std::string_view name, const auto& list) {
        if (empty || !list.empty()) return;
        const bool laplacian_list = name == "laplacian_k_neighbors" || name == "laplacian_active_threshold";
        if (!laplacian_list || laplacian) empty = name;
    });
    return empty;
}

core::Expected<TunedPipeline, PipelineError> auto_tune(std::vector<std::string> categories, Corpus embeddings,
                                                       const SearchSpace& space, const QualityMetric& metric,
                                                       const SearchStrategy& strategy, const PipelineConfig& base) {
    Run run(categories, embeddings, metric);
    std::visit(
        [&](const auto& s) {
            using S = std::decay_t<decltype(s)>;
            if constexpr (std::is_same_v<S, strategy::Grid>) {
                run_grid(run, space, base);
            } else if constexpr (std::is_same_v<S, strategy::Random>) {
                run_random(run, space, base, s);
            } else {
                run_bayesian(run, space, base, s);
            }
        },
        strategy);
    if (run.trials().empty()) return core::Unexpected{PipelineError::no_successful_trials(std::move(run.failures()))};

    const TrialResult& best = best_of(run.trials());
    const PipelineConfig best_config = best.config;
    const double best_score = best.score;
    auto projection = run.projection_for(best_config);
    if (!projection) return core::Unexpected{PipelineError::projection_failed(projection.error())};
    auto built = VantorelPipeline::with_configured_projection_and_config(std::move(categories), std::move(embeddings),
                                                                         std::move(projection).value(), best_config);
    if (!built) return core::Unexpected{std::move(built).error()};
    TuneReport report{std::string(metric.name()), std::move(run.trials()), std::move(run.failures()), best_config,
                      best_score};
    return TunedPipeline{std::move(built).value(), std::move(report)};
}

}  // namespace vantorel::embed
