#include "embed/tuning/tpe.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <type_traits>
#include <vector>

#include "core/invariant.hpp"
#include "embed/tuning/generator.hpp"

namespace vantorel::embed {
namespace {

using TrialRefs = std::vector<std::reference_wrapper<const TrialResult>>;

// Highest score first, NaN last: a strict weak order, so the stable sort keeps
// run order among equal scores and among NaNs.
bool scores_higher(const TrialResult& a, const TrialResult& b) noexcept {
    if (std::isnan(a.score)) return false;
    if (std::isnan(b.score)) return true;
    return a.score > b.score;
}

// The candidate a value counts for: the first equal one for exact knobs, the
// nearest (first on ties) for real-valued ones; none when nothing matches.
template <class T>
std::optional<std::size_t> matching_candidate(const std::vector<T>& candidates, T value) {
    if constexpr (std::is_same_v<T, double>) {
        if (candidates.empty()) return std::nullopt;
        std::size_t best = 0;
        double best_diff = std::fabs(candidates[0] - value);
        for (std::size_t i = 1; i < candidates.size(); ++i) {
            const double diff = std::fabs(candidates[i] - value);
            if (diff < best_diff || (std::isnan(best_diff) && !std::isnan(diff))) {
                best = i;
                best_diff = diff;
            }
        }
        return best;
    } else {
        const auto it = std::ranges::find(candidates, value);
        if (it == candidates.end()) return std::nullopt;
        return static_cast<std::size_t>(it - candidates.begin());
    }
}

template <class T, class Get>
std::vector<double> counts(const std::vector<T>& candidates, const TrialRefs& trials, Get get) {
    std::vector<double> out(candidates.size(), 0.0);
    for (const TrialResult& t : trials) {
        if (const auto i = matching_candidate(candidates, get(t.config))) out[*i] += 1.0;
    }
    return out;
}

// Draws one candidate by the good-to-bad ratio of its counts.
template <class T, class Get>
T draw_knob(std::uint64_t& state, const std::vector<T>& candidates, const TrialRefs& good, const TrialRefs& bad,
            Get get) {
    const std::size_t i = draw_weighted_index(state, counts(candidates, good, get), counts(candidates, bad, get));
    return core::at_checked(candidates, i);
}

TrialRefs laplacian_only(const TrialRefs& trials) {
    TrialRefs out;
    for (const TrialResult& t : trials) {
        if (t.config.projection_kind == ProjectionKind::LaplacianEigenmap) out.push_back(t);
    }
    return out;
}

}  // namespace

std::size_t tpe_good_count(double gamma, std::size_t n) noexcept {
    const double product = std::ceil(gamma * static_cast<double>(n));
    std::size_t c = 0;
    if (product >= static_cast<double>(std::numeric_limits<std::size_t>::max())) {
        c = std::numeric_limits<std::size_t>::max();
    } else if (product > 0.0) {
        c = static_cast<std::size_t>(product);
    }
    return std::min(std::max(c, std::size_t{1}), std::max(n, std::size_t{2}) - 1);
}

std::size_t draw_weighted_index(std::uint64_t& state, std::span<const double> good, std::span<const double> bad) {
    const std::size_t m = std::min(good.size(), bad.size());
    double g_total = 0.0;
    for (const double g : good) g_total += g;
    double b_total = 0.0;
    for (const double b : bad) b_total += b;
    const double g_norm = g_total + static_cast<double>(good.size());
    const double b_norm = b_total + static_cast<double>(bad.size());

    std::vector<double> weights(m);
    double total = 0.0;
    for (std::size_t i = 0; i < m; ++i) {
        weights[i] = ((good[i] + 1.0) / g_norm) / ((bad[i] + 1.0) / b_norm);
        total += weights[i];
    }
    if (m > 0 && std::isfinite(total) && total > 0.0) {
        const double target = total * draw_unit(state);
        double running = 0.0;
        for (std::size_t i = 0; i < m; ++i) {
            running += weights[i];
            if (running >= target) return i;
        }
        return m - 1;
    }
    return draw_index(state, std::max(m, std::size_t{1}));
}

PipelineConfig tpe_propose(const SearchSpace& space, const PipelineConfig& base, std::span<const TrialResult> trials,
                           std::uint64_t& state, double gamma) {
    TrialRefs ordered(trials.begin(), trials.end());
    std::ranges::stable_sort(ordered, [](const TrialResult& a, const TrialResult& b) { return scores_higher(a, b); });
    const std::size_t n_good = tpe_good_count(gamma, ordered.size());
    if (ordered.size() < 2) return space.sample(state, base);
    const TrialRefs good(ordered.begin(), ordered.begin() + static_cast<std::ptrdiff_t>(n_good));
    const TrialRefs bad(ordered.begin() + static_cast<std::ptrdiff_t>(n_good), ordered.end());

    PipelineConfig c = base;
    c.projection_kind =
        draw_knob(state, space.projection_kinds, good, bad, [](const PipelineConfig& x) { return x.projection_kind; });
    c.routing.num_domain_groups = draw_knob(state, space.num_domain_groups, good, bad,
                                            [](const PipelineConfig& x) { return x.routing.num_domain_groups; });
    c.routing.low_evr_threshold = draw_knob(state, space.low_evr_threshold, good, bad,
                                            [](const PipelineConfig& x) { return x.routing.low_evr_threshold; });
    c.bridges.threshold_base = draw_knob(state, space.threshold_base, good, bad,
                                         [](const PipelineConfig& x) { return x.bridges.threshold_base; });
    c.bridges.threshold_evr_penalty = draw_knob(state, space.threshold_evr_penalty, good, bad,
                                                [](const PipelineConfig& x) { return x.bridges.threshold_evr_penalty; });
    c.bridges.overlap_artifact_territorial =
        draw_knob(state, space.overlap_artifact_territorial, good, bad,
                  [](const PipelineConfig& x) { return x.bridges.overlap_artifact_territorial; });
    c.inner_sphere.min_evr_improvement =
        draw_knob(state, space.min_evr_improvement, good, bad,
                  [](const PipelineConfig& x) { return x.inner_sphere.min_evr_improvement; });
    if (c.projection_kind != ProjectionKind::LaplacianEigenmap) return c;

    const TrialRefs good_lap = laplacian_only(good);
    const TrialRefs bad_lap = laplacian_only(bad);
    if (!good_lap.empty() && !bad_lap.empty()) {
        c.laplacian.k_neighbors = draw_knob(state, space.laplacian_k_neighbors, good_lap, bad_lap,
                                            [](const PipelineConfig& x) { return x.laplacian.k_neighbors; });
        c.laplacian.active_threshold = draw_knob(state, space.laplacian_active_threshold, good_lap, bad_lap,
                                                 [](const PipelineConfig& x) { return x.laplacian.active_threshold; });
    } else {
        c.laplacian.k_neighbors = core::at_checked(space.laplacian_k_neighbors,
                                                   draw_index(state, space.laplacian_k_neighbors.size()));
        c.laplacian.active_threshold = core::at_checked(space.laplacian_active_threshold,
                                                        draw_index(state, space.laplacian_active_threshold.size()));
    }
    return c;
}

}  // namespace vantorel::embed
