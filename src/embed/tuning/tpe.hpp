#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "embed/config.hpp"
#include "embed/tuning/search_space.hpp"
#include "embed/tuning/tune_report.hpp"

namespace vantorel::embed {

// How many of n trials count as good under the working gamma: ceil(gamma × n)
// (0 for a negative or NaN product, saturating when huge), kept within
// [1, max(n − 1, 1)].
std::size_t tpe_good_count(double gamma, std::size_t n) noexcept;

// One index drawn in proportion to ((g_i + 1) / (G + m_g)) / ((b_i + 1) / (B + m_b));
// uniform (z mod max(m, 1)) when the weights do not sum to a positive finite
// total. Always exactly one generator step.
std::size_t draw_weighted_index(std::uint64_t& state, std::span<const double> good, std::span<const double> bad);

// The next configuration of a Bayesian run: the trials so far split into the
// best ceil(gamma × n) and the rest (NaN scores last), each knob drawn from the
// good-to-bad ratio of its candidates' counts. A plain sample while fewer than
// two trials exist. Takes 7 generator steps, 9 when LaplacianEigenmap is drawn.
PipelineConfig tpe_propose(const SearchSpace& space, const PipelineConfig& base, std::span<const TrialResult> trials,
                           std::uint64_t& state, double gamma);

}  // namespace vantorel::embed
