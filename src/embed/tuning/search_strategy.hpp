#pragma once

#include <cstdint>
#include <variant>

namespace vantorel::embed {

// How the tuner picks its trial configurations. Every value is the caller's:
// the engine has no defaults of its own.
namespace strategy {
// Every grid configuration, in index order.
struct Grid {};
// `budget` uniform samples from a generator started at `seed`.
struct Random {
    std::uint64_t budget = 0;
    std::uint64_t seed = 0;
};
// `budget` trials (at least 2): uniform warm-up samples, then TPE proposals,
// all from one generator started at `seed`.
struct Bayesian {
    std::uint64_t budget = 0;
    std::uint64_t warmup = 0;
    double gamma = 0.0;
    std::uint64_t seed = 0;
};
}  // namespace strategy

using SearchStrategy = std::variant<strategy::Grid, strategy::Random, strategy::Bayesian>;

}  // namespace vantorel::embed
