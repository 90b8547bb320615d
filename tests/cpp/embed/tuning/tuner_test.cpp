#include <gtest/gtest.h>
#include <oneapi/tbb/global_control.h>

#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "embed/category/category_fixture.hpp"
#include "embed/quality/composite_metric.hpp"
#include "embed/quality/territorial_health.hpp"
#include "embed/tuning/generator.hpp"
#include "embed/tuning/tpe.hpp"
#include "embed/tuning/tuner.hpp"
#include "stop_text.hpp"

namespace vantorel::embed {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Scores a pipeline by its configuration alone, so runs are cheap to predict.
class ConfigScore final : public QualityMetric {
public:
    explicit ConfigScore(double (*f)(const PipelineConfig&)) : f_(f) {}
    [[nodiscard]] std::string_view name() const noexcept override { return "config_score"; }
    [[nodiscard]] double score(const VantorelPipeline& p) const override { return f_(p.config()); }

private:
    double (*f_)(const PipelineConfig&);
};

double by_threshold(const PipelineConfig& c) { return c.bridges.threshold_base; }

struct Corpus3 {
    testing::LabelledCorpus corpus = testing::clustered(3, 12, 8, 0.5, 7);
    PipelineConfig base = testing::quick_config();
};

std::vector<PipelineConfig> configs_of(const TuneReport& r) {
    std::vector<PipelineConfig> out;
    for (const TrialResult& t : r.trials) out.push_back(t.config);
    return out;
}

// What a configuration's bridge, margin and routing knobs reach in a
// pipeline, its JSON, and its scores under both presets; numbers in hexadecimal, exact.
struct Snapshot {
    std::string bridges, inner_spheres, domain_groups, json, scores;
};

Snapshot snapshot(const VantorelPipeline& p) {
    std::ostringstream bridges, inner, groups, scores;
    for (std::ostringstream* s : {&bridges, &inner, &groups, &scores}) *s << std::hexfloat;
    const CategoryLayer& layer = p.category_layer();
    for (const auto& [pair, items] : layer.graph().bridges) {
        bridges << pair.first << '>' << pair.second << ':';
        for (const BridgeItem& b : items) {
            bridges << ' ' << b.item_index << ',' << b.affinity_to_source << ',' << b.affinity_to_target << ','
                    << b.bridge_strength << ',' << static_cast<int>(b.classification);
        }
        bridges << '\n';
    }
    for (std::size_t c = 0; c < layer.summaries().size(); ++c) {
        bridges << layer.summaries()[c].bridge_quality << ':';
        for (const CategoryEdge& e : layer.graph().adjacency[c]) {
            bridges << ' ' << e.target << ',' << e.bridge_count << ',' << e.max_bridge_strength << ','
                    << e.mean_bridge_strength << ',' << e.weight;
        }
        bridges << '\n';
    }
    for (const InnerSphereReport& r : layer.inner_sphere_stats()) {
        inner << r.category_index << ',' << r.projection_type << ',' << r.member_count << ',' << r.inner_evr << ','
              << r.global_subset_evr << ',' << r.evr_improvement << '\n';
    }
    for (const DomainGroup& g : p.domain_groups()) {
        for (const std::size_t c : g.member_categories) groups << c << ' ';
        groups << g.total_items << ',' << g.centroid.theta << ',' << g.centroid.phi << ',' << g.angular_spread << ','
               << g.cohesion << '\n';
    }
    scores << CompositeMetric::default_composite().score(p) << ' '
           << CompositeMetric::connectivity_composite().score(p);
    return {bridges.str(), inner.str(), groups.str(), p.to_json(), scores.str()};
}

// Keeps a snapshot of every pipeline it scores, from any thread, and scores
// it with the snapshot's position in `seen`.
class Recorder final : public QualityMetric {
public:
    [[nodiscard]] std::string_view name() const noexcept override { return "recorder"; }
    [[nodiscard]] double score(const VantorelPipeline& p) const override {
        Snapshot s = snapshot(p);
        const std::lock_guard lock(mutex_);
        seen.push_back(std::move(s));
        return static_cast<double>(seen.size() - 1);
    }
    mutable std::vector<Snapshot> seen;

private:
    mutable std::mutex mutex_;
};

TEST(DrawWeightedIndex, FollowsTheGoodToBadRatio) {
    // Weights 3, 0.5, 0.5 of total 4: index 0 up to u = 0.75, 1 up to 0.875, then 2.
    const std::vector<double> good{2, 0, 0};
    const std::vector<double> bad{0, 1, 1};
    std::vector<int> seen(3, 0);
    for (std::uint64_t seed = 0; seed < 400; ++seed) {
        std::uint64_t probe = seed;
        const double u = draw_unit(probe);
        std::uint64_t state = seed;
        const std::size_t i = draw_weighted_index(state, good, bad);
        EXPECT_EQ(state, probe);  // exactly one step
        EXPECT_EQ(i, u <= 0.75 ? 0u : u <= 0.875 ? 1u : 2u);
        ++seen[i];
    }
    for (const int count : seen) EXPECT_GT(count, 0);

    // No candidates, or weights that do not sum to a positive finite total: z mod max(m, 1).
    std::uint64_t state = 5;
    std::uint64_t probe = 5;
    EXPECT_EQ(draw_weighted_index(state, {}, {}), 0u);
    EXPECT_EQ(state, (next_u64(probe), probe));
    const std::vector<double> inf{std::numeric_limits<double>::infinity(), 0};
    probe = state;
    const std::uint64_t z = next_u64(probe);
    EXPECT_EQ(draw_weighted_index(state, inf, std::vector<double>{0, 0}), z % 2);
}

TEST(TpeGoodCount, CeilOfGammaWithinOneAndNMinusOne) {
    EXPECT_EQ(tpe_good_count(0.25, 10), 3u);
    EXPECT_EQ(tpe_good_count(0.95, 10), 9u);
    EXPECT_EQ(tpe_good_count(0.05, 10), 1u);
    for (const double gamma : {0.05, 0.5, 0.95, kNaN, -1.0}) EXPECT_EQ(tpe_good_count(gamma, 2), 1u);
    EXPECT_EQ(tpe_good_count(kNaN, 10), 1u);
    EXPECT_EQ(tpe_good_count(1e300, 10), 9u);
}

TEST(TpePropose, NanScoresCountAsWorst) {
    const SearchSpace space;
    const PipelineConfig base;
    PipelineConfig pca = base;
    PipelineConfig lap = base;
    lap.projection_kind = ProjectionKind::LaplacianEigenmap;
    const std::vector<TrialResult> trials{{0, kNaN, lap}, {0, 1.0, pca}, {0, 0.5, lap}};
    // gamma 0.05 keeps one good trial: the 1.0 (Pca); were NaN first it would be a Laplacian one.
    int differing = 0;
    for (std::uint64_t seed = 0; seed < 64; ++seed) {
        std::uint64_t right = seed;
        std::uint64_t wrong = seed;
        const std::size_t expected = draw_weighted_index(right, std::vector<double>{1, 0}, std::vector<double>{0, 2});
        const std::size_t nan_first = draw_weighted_index(wrong, std::vector<double>{0, 1}, std::vector<double>{1, 1});
        if (expected == nan_first) continue;
        ++differing;
        std::uint64_t state = seed;
        EXPECT_EQ(tpe_propose(space, base, trials, state, 0.05).projection_kind, space.projection_kinds[expected]);
    }
    EXPECT_GT(differing, 0);

    // Fewer than two trials: a plain sample.
    std::uint64_t a = 9;
    std::uint64_t b = 9;
    EXPECT_EQ(tpe_propose(space, base, std::span(trials).first(1), a, 0.25), space.sample(b, base));
    EXPECT_EQ(a, b);
}

TEST(AutoTune, BayesianSplitsBudgetIntoWarmupAndProposals) {
    const Corpus3 c;
    SearchSpace space;
    space.projection_kinds = {ProjectionKind::Pca};
    const ConfigScore metric(by_threshold);
    const auto run = [&](std::uint64_t budget, std::uint64_t warmup, double gamma) {
        return auto_tune(c.corpus.labels, c.corpus.embeddings, space, metric,
                         strategy::Bayesian{budget, warmup, gamma, 11}, c.base)
            .value()
            .report;
    };
    // Replays a run: w samples, then proposals from the trials so far, one shared state.
    const auto expected = [&](std::uint64_t budget, std::uint64_t w, double gamma) {
        std::uint64_t state = 11;
        std::vector<TrialResult> trials;
        for (std::uint64_t i = 0; i < budget; ++i) {
            const PipelineConfig next =
                i < w ? space.sample(state, c.base) : tpe_propose(space, c.base, trials, state, gamma);
            trials.push_back({0, by_threshold(next), next});
        }
        return configs_of(TuneReport{"", trials, {}, {}, 0.0});
    };
    EXPECT_EQ(configs_of(run(2, 10, 0.25)), expected(2, 2, 0.25));
    EXPECT_EQ(configs_of(run(5, 0, 0.25)), expected(5, 2, 0.25));
    EXPECT_EQ(configs_of(run(9, 3, 0.25)), expected(9, 3, 0.25));
    // Gamma is clamped to [0.05, 0.95].
    EXPECT_EQ(configs_of(run(9, 2, 0.01)), configs_of(run(9, 2, 0.05)));
    EXPECT_EQ(configs_of(run(9, 2, 2.0)), configs_of(run(9, 2, 0.95)));
    EXPECT_EQ(vantorel::testing::stop_text([&] { run(1, 0, 0.25); }), "bayesian strategy needs budget >= 2");
}

TEST(AutoTune, BestTrialRules) {
    const Corpus3 c;
    SearchSpace space;
    space.projection_kinds = {ProjectionKind::Pca};
    space.num_domain_groups = {3};
    space.low_evr_threshold = {0.35};
    space.overlap_artifact_territorial = {0.3};
    space.threshold_evr_penalty = {0.4};
    space.min_evr_improvement = {0.1};
    space.threshold_base = {0.1, 0.2, 0.3, 0.4};
    const auto best_of = [&](double (*f)(const PipelineConfig&)) {
        const ConfigScore metric(f);
        auto tuned = auto_tune(c.corpus.labels, c.corpus.embeddings, space, metric, strategy::Grid{}, c.base).value();
        EXPECT_EQ(tuned.pipeline.config(), tuned.report.best_config);
        return tuned.report;
    };
    // Equal scores go to the later trial; a NaN never beats a number.
    TuneReport r = best_of([](const PipelineConfig& x) { return x.bridges.threshold_base < 0.25 ? 0.5 : kNaN; });
    EXPECT_EQ(r.best_config.bridges.threshold_base, 0.2);
    EXPECT_EQ(r.best_score, 0.5);
    r = best_of([](const PipelineConfig& x) { return x.bridges.threshold_base > 0.15 ? 0.5 : kNaN; });
    EXPECT_EQ(r.best_config.bridges.threshold_base, 0.4);
    r = best_of([](const PipelineConfig& x) { return x.bridges.threshold_base == 0.3 ? 0.9 : 0.1; });
    EXPECT_EQ(r.best_config.bridges.threshold_base, 0.3);
    EXPECT_DOUBLE_EQ(r.mean_score(), (0.1 + 0.1 + 0.9 + 0.1) / 4);
    // Every score NaN: the first trial.
    r = best_of([](const PipelineConfig&) { return kNaN; });
    EXPECT_EQ(r.best_config.bridges.threshold_base, 0.1);
    EXPECT_TRUE(std::isnan(r.best_score));
    EXPECT_EQ(r.trials.size(), 4u);
    EXPECT_EQ(r.metric_name, "config_score");
}

// 16 configurations of one PCA key, then 16 of one Laplacian key; each knob
// past the fit changes the pipelines of the corpus below.
SearchSpace two_keys() {
    SearchSpace space;
    space.projection_kinds = {ProjectionKind::Pca, ProjectionKind::LaplacianEigenmap};
    space.laplacian_k_neighbors = {6};
    space.laplacian_active_threshold = {0.05};
    space.num_domain_groups = {1, 3};
    space.low_evr_threshold = {0.35};
    space.overlap_artifact_territorial = {0.1, 0.6};
    space.threshold_base = {0.2, 0.6};
    space.threshold_evr_penalty = {0.4};
    space.min_evr_improvement = {-1.0, 0.35};  // -1 admits every inner fit
    return space;
}

testing::LabelledCorpus two_keys_corpus() { return testing::clustered(3, 24, 8, 0.5, 3); }

TEST(AutoTune, TrialsOfASharedBasisEqualFreshBuilds) {
    const testing::LabelledCorpus corpus = two_keys_corpus();
    const auto trials = [&](const QualityMetric& metric) {
        return auto_tune(corpus.labels, corpus.embeddings, two_keys(), metric, strategy::Grid{},
                         testing::quick_config())
            .value()
            .report.trials;
    };
    const Recorder recorder;
    const std::vector<TrialResult> recorded = trials(recorder);
    // The presets as the tuner reports them, their basis-only parts scored once per basis.
    const std::vector<TrialResult> by_default = trials(CompositeMetric::default_composite());
    const std::vector<TrialResult> by_connectivity = trials(CompositeMetric::connectivity_composite());
    ASSERT_EQ(recorded.size(), 32u);
    ASSERT_EQ(by_default.size(), 32u);
    ASSERT_EQ(by_connectivity.size(), 32u);
    // Per kind, the distinct bridges, inner spheres and domain groups seen.
    std::map<ProjectionKind, std::array<std::set<std::string>, 3>> distinct;
    for (std::size_t i = 0; i < recorded.size(); ++i) {
        const PipelineConfig& config = recorded[i].config;
        SCOPED_TRACE(config.to_json());
        const Snapshot& shared = recorder.seen.at(static_cast<std::size_t>(recorded[i].score));
        const Snapshot fresh =
            snapshot(VantorelPipeline::make_with_config(corpus.labels, corpus.embeddings, config).value());
        EXPECT_EQ(shared.scores, fresh.scores);
        ASSERT_EQ(by_default[i].config, config);
        ASSERT_EQ(by_connectivity[i].config, config);
        std::ostringstream reported;
        reported << std::hexfloat << by_default[i].score << ' ' << by_connectivity[i].score;
        EXPECT_EQ(reported.str(), fresh.scores);
        EXPECT_EQ(shared.bridges, fresh.bridges);
        EXPECT_EQ(shared.inner_spheres, fresh.inner_spheres);
        EXPECT_EQ(shared.domain_groups, fresh.domain_groups);
        EXPECT_EQ(shared.json, fresh.json);
        auto& sets = distinct[config.projection_kind];
        sets[0].insert(shared.bridges);
        sets[1].insert(shared.inner_spheres);
        sets[2].insert(shared.domain_groups);
    }
    // Each part varies within a key, so a build that kept another
    // configuration's part would show above.
    ASSERT_EQ(distinct.size(), 2u);
    for (const auto& [kind, sets] : distinct) {
        for (const auto& set : sets) EXPECT_GT(set.size(), 1u) << projection_kind_name(kind);
    }
}

TEST(AutoTune, BasisOnlyPartsAreScoredOncePerBasis) {
    // Territorial health that counts its calls, from any thread.
    struct Counted final : QualityMetric {
        [[nodiscard]] std::string_view name() const noexcept override { return "counted"; }
        [[nodiscard]] double score(const VantorelPipeline& p) const override {
            ++calls;
            return TerritorialHealth{}.score(p);
        }
        [[nodiscard]] bool reads_basis_only() const noexcept override { return true; }
        mutable std::atomic<int> calls = 0;
    };
    auto counted = std::make_unique<Counted>();
    const Counted& calls = *counted;
    std::vector<WeightedMetric> parts;
    parts.push_back({std::move(counted), 1.0});
    parts.push_back({std::make_unique<ConfigScore>(by_threshold), 1.0});
    const CompositeMetric metric = CompositeMetric::make("parts", std::move(parts));
    const testing::LabelledCorpus corpus = two_keys_corpus();
    const auto tuned = auto_tune(corpus.labels, corpus.embeddings, two_keys(), metric, strategy::Grid{},
                                 testing::quick_config());
    ASSERT_TRUE(tuned);
    EXPECT_EQ(tuned->report.trials.size(), 32u);
    EXPECT_EQ(calls.calls, 2);
}

// Everything a report holds but the trial times; numbers exact.
std::string report_text(const TuneReport& r) {
    std::ostringstream out;
    out << std::hexfloat << r.metric_name << ' ' << r.best_score << ' ' << r.mean_score() << ' '
        << r.best_config.to_json() << '\n';
    for (const TrialResult& t : r.trials) out << t.score << ' ' << t.config.to_json() << '\n';
    for (const auto& [config, text] : r.failures) out << text << ' ' << config.to_json() << '\n';
    return out.str();
}

TEST(AutoTune, ParallelRunsReportWhatOneThreadReports) {
    // Three items build with PCA but are too few for a Laplacian fit, so
    // failures and trials interleave.
    const testing::LabelledCorpus three = testing::clustered(3, 1, 8, 0.5, 5);
    const testing::LabelledCorpus corpus = two_keys_corpus();
    const CompositeMetric metric = CompositeMetric::connectivity_composite();
    const std::vector<std::pair<SearchStrategy, SearchSpace>> runs{
        {strategy::Grid{}, two_keys()},
        {strategy::Random{40, 7}, SearchSpace{}},
        {strategy::Bayesian{24, 8, 0.25, 7}, SearchSpace{}}};
    for (const testing::LabelledCorpus* c : {&three, &corpus}) {
        for (const auto& [strategy, space] : runs) {
            const auto text = [&] {
                return report_text(
                    auto_tune(c->labels, c->embeddings, space, metric, strategy, testing::quick_config())
                        .value()
                        .report);
            };
            const std::string parallel = text();
            const tbb::global_control one(tbb::global_control::max_allowed_parallelism, 1);
            EXPECT_EQ(text(), parallel) << c->labels.size() << " items, strategy " << strategy.index();
        }
    }
}

TEST(AutoTune, FailuresAndEmptyRuns) {
    const Corpus3 c;
    const ConfigScore metric(by_threshold);
    // No trial at all: the error carries an empty failures list.
    auto none = auto_tune(c.corpus.labels, c.corpus.embeddings, SearchSpace{}, metric, strategy::Random{0, 0}, c.base);
    ASSERT_FALSE(none);
    EXPECT_EQ(none.error().message(), "auto_tune produced no successful trials (0 failures)");

    // Mismatched lengths fail every trial, and the error keeps each failure.
    SearchSpace small;
    small.projection_kinds = {ProjectionKind::Pca};
    for (auto* list : {&small.low_evr_threshold, &small.overlap_artifact_territorial, &small.threshold_base,
                       &small.threshold_evr_penalty, &small.min_evr_improvement}) {
        list->resize(1);
    }
    small.num_domain_groups = {3, 5};
    std::vector<std::string> short_labels(c.corpus.labels.begin(), c.corpus.labels.end() - 1);
    auto failed = auto_tune(short_labels, c.corpus.embeddings, small, metric, strategy::Grid{}, c.base);
    ASSERT_FALSE(failed);
    const auto& payload = std::get<PipelineError::NoSuccessfulTrials>(failed.error().kind);
    ASSERT_EQ(payload.failures.size(), 2u);
    EXPECT_EQ(payload.failures[1].first.routing.num_domain_groups, 5u);
    EXPECT_EQ(payload.failures[0].second, "categories length (35) must equal embeddings length (36)");
    EXPECT_EQ(failed.error().message(), "auto_tune produced no successful trials (2 failures)");
}

TEST(AutoTune, EmptyListsADrawNeeds) {
    SearchSpace space;
    EXPECT_FALSE(empty_list_a_draw_needs(space));
    space.laplacian_k_neighbors.clear();
    EXPECT_EQ(empty_list_a_draw_needs(space), "laplacian_k_neighbors");
    space.projection_kinds = {ProjectionKind::Pca};
    EXPECT_FALSE(empty_list_a_draw_needs(space));
    space.min_evr_improvement.clear();
    EXPECT_EQ(empty_list_a_draw_needs(space), "min_evr_improvement");
    space.projection_kinds.clear();
    EXPECT_EQ(empty_list_a_draw_needs(space), "projection_kinds");

    // Only draws need the lists; only a Bayesian run needs two trials.
    EXPECT_EQ(strategy_refusal(strategy::Random{0, 0}, space), "search space list `projection_kinds` is empty");
    EXPECT_FALSE(strategy_refusal(strategy::Grid{}, space));
    EXPECT_EQ(strategy_refusal(strategy::Bayesian{1, 2, 0.25, 0}, SearchSpace{}), "bayesian strategy needs budget >= 2");
    EXPECT_FALSE(strategy_refusal(strategy::Bayesian{2, 0, 0.25, 0}, SearchSpace{}));
}

}  // namespace
}  // namespace vantorel::embed
