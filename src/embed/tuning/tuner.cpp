#include "embed/tuning/tuner.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <variant>

#include "core/format.hpp"
#include "core/interrupt.hpp"
#include "core/invariant.hpp"
#include "core/parallel.hpp"
#include "embed/tuning/generator.hpp"
#include "embed/tuning/projection_fit_key.hpp"
#include "embed/tuning/tpe.hpp"

namespace vantorel::embed {
namespace {

constexpr double kMinGamma = 0.05;
constexpr double kMaxGamma = 0.95;
// Trials per thread in one batch: enough that a long trial leaves the other
// threads work, few enough that the pipelines alive at once stay a handful.
constexpr std::size_t kTrialsPerThread = 2;

// A fitted projection and, once a trial has prepared it, the basis that
// every configuration with the projection's key builds from, with the scores
// of the metric's basis-only parts, which all those pipelines share.
struct Fitted {
    ConfiguredProjection projection;
    std::optional<PipelineBasis> basis;
    BasisScores basis_scores;
};

// What a trial gave: its result, or the text of its failure.
using Outcome = std::variant<TrialResult, std::string>;

// The state of one run: the corpus, the fits so far and what the trials gave.
// Within a run only the tuned knobs vary, and of those only the fit key
// reaches a basis, so one basis per key serves every trial with that key;
// the trial pipelines are what fresh builds give.
class Run {
public:
    Run(const std::vector<std::string>& categories, const Corpus& embeddings, const QualityMetric& metric)
        : categories_(categories), embeddings_(embeddings), metric_(metric) {}

    // The most configurations one `batch` should take.
    [[nodiscard]] static std::size_t batch_size() { return kTrialsPerThread * core::thread_count(); }

    // Runs one trial per configuration and records what running them one
    // after another records. The fits and bases they need come first, on
    // this thread and in trial order, as the trials would meet them (a failed
    // fit is tried again by the next trial of its key); the pipelines are
    // then built and scored in parallel, each from its shared basis, and the
    // outcomes recorded in trial order.
    void batch(std::span<const PipelineConfig> configs) {
        const std::size_t n = configs.size();
        std::vector<const Fitted*> fits(n, nullptr);
        std::vector<Outcome> outcomes(n);
        for (std::size_t i = 0; i < n; ++i) {
            core::check_interrupt();
            auto fit = fit_for(configs[i]);
            if (fit) {
                fits[i] = *fit;
            } else {
                outcomes[i] = std::move(fit).error();
            }
        }
        core::for_each_index(n, [&](std::size_t i) {
            if (fits[i] != nullptr) outcomes[i] = build_and_score(*fits[i], configs[i]);
        });
        for (std::size_t i = 0; i < n; ++i) {
            if (TrialResult* result = std::get_if<TrialResult>(&outcomes[i])) {
                trials_.push_back(std::move(*result));
            } else {
                failures_.emplace_back(configs[i], std::move(std::get<std::string>(outcomes[i])));
            }
        }
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
    // The fit and basis of `config`'s key, made when absent; else the text
    // that a trial of `config` fails with.
    core::Expected<const Fitted*, std::string> fit_for(const PipelineConfig& config) {
        const ProjectionFitKey key = ProjectionFitKey::of(config);
        auto cached = fits_.find(key);
        if (cached == fits_.end()) {
            auto fitted = fit_projection_for_config(embeddings_, config);
            // Not cached: a later trial with this key fits again.
            if (!fitted) return core::Unexpected{fitted.error().message()};
            cached = fits_.emplace(key, Fitted{std::move(fitted).value(), std::nullopt, {}}).first;
        }
        Fitted& fit = cached->second;
        if (!fit.basis) {
            auto basis = VantorelPipeline::prepare(categories_, embeddings_, fit.projection, config);
            if (!basis) return core::Unexpected{basis.error().message()};
            fit.basis.emplace(std::move(basis).value());
            // Any one pipeline of the basis gives the parts they all share.
            if (auto first = VantorelPipeline::from_basis(*fit.basis, categories_, embeddings_, config)) {
                metric_.add_basis_scores(*first, fit.basis_scores);
            }
        }
        return &fit;
    }

    // The trial of `config` on its key's basis. Reads the run only, so the
    // trials of a batch run at once.
    Outcome build_and_score(const Fitted& fit, const PipelineConfig& config) const {
        const auto start = std::chrono::steady_clock::now();
        auto built = VantorelPipeline::from_basis(*fit.basis, categories_, embeddings_, config);
        if (!built) return built.error().message();
        const double score = metric_.score_reusing(*built, fit.basis_scores);
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        return TrialResult{static_cast<std::uint64_t>(elapsed.count()), score, config};
    }

    const std::vector<std::string>& categories_;
    const Corpus& embeddings_;
    const QualityMetric& metric_;
    std::unordered_map<ProjectionFitKey, Fitted, ProjectionFitKeyHash> fits_;
    std::vector<TrialResult> trials_;
    std::vector<TrialFailure> failures_;
};

// Trials on the configurations `config_of(i)` gives for i = 0 .. count − 1,
// asked in order (none skips i), in batches.
template <class ConfigOf>
void run_in_batches(Run& run, std::uint64_t count, const ConfigOf& config_of) {
    std::vector<PipelineConfig> configs;
    for (std::uint64_t i = 0; i < count;) {
        configs.clear();
        for (; i < count && configs.size() < Run::batch_size(); ++i) {
            if (std::optional<PipelineConfig> config = config_of(i)) configs.push_back(std::move(*config));
        }
        run.batch(configs);
    }
}

void run_grid(Run& run, const SearchSpace& space, const PipelineConfig& base) {
    run_in_batches(run, space.grid_cardinality(), [&](std::uint64_t i) { return space.config_at_index(i, base); });
}

// `count` uniform samples from the generator at `state`.
void run_samples(Run& run, std::uint64_t count, const SearchSpace& space, const PipelineConfig& base,
                 std::uint64_t& state) {
    run_in_batches(run, count, [&](std::uint64_t) { return std::optional(space.sample(state, base)); });
}

void run_random(Run& run, const SearchSpace& space, const PipelineConfig& base, const strategy::Random& s) {
    std::uint64_t state = s.seed;
    run_samples(run, s.budget, space, base, state);
}

// Each proposal depends on the trials before it, so proposals run one by one.
void run_bayesian(Run& run, const SearchSpace& space, const PipelineConfig& base, const strategy::Bayesian& s) {
    std::uint64_t state = s.seed;
    const std::uint64_t warmup = std::clamp<std::uint64_t>(s.warmup, 2, s.budget);
    // std::clamp passes NaN through, as the proposal's gamma must.
    const double gamma = std::clamp(s.gamma, kMinGamma, kMaxGamma);
    run_samples(run, warmup, space, base, state);
    for (std::uint64_t i = warmup; i < s.budget; ++i) {
        const PipelineConfig proposal = tpe_propose(space, base, run.trials(), state, gamma);
        run.batch(std::span(&proposal, 1));
    }
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

std::optional<std::string> strategy_refusal(const SearchStrategy& strategy, const SearchSpace& space) {
    if (std::holds_alternative<strategy::Grid>(strategy)) return std::nullopt;
    if (const auto* b = std::get_if<strategy::Bayesian>(&strategy); b != nullptr && b->budget < 2) {
        return "bayesian strategy needs budget >= 2";
    }
    if (const auto empty = empty_list_a_draw_needs(space)) return core::format("search space list `{}` is empty", *empty);
    return std::nullopt;
}

core::Expected<TunedPipeline, PipelineError> auto_tune(std::vector<std::string> categories, Corpus embeddings,
                                                       const SearchSpace& space, const QualityMetric& metric,
                                                       const SearchStrategy& strategy, const PipelineConfig& base) {
    if (const auto refusal = strategy_refusal(strategy, space)) core::stop(*refusal);
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
