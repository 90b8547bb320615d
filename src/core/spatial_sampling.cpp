// The sampled estimates of the region functions: cap exclusivity, coverage
// and Voronoi cells.

#include <oneapi/tbb/enumerable_thread_specific.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/conversions.hpp"
#include "core/invariant.hpp"
#include "core/numeric.hpp"
#include "core/parallel.hpp"
#include "core/spatial.hpp"
#include "core/sphere_sampler.hpp"

namespace vantorel::core::spatial {
namespace {

constexpr std::uint64_t kExclusivitySeed = 0xFEEDFACE00000001ULL;
constexpr std::uint64_t kCoverageSeed = 0x123456789abcdef0ULL;
constexpr std::uint64_t kVoronoiSeed = 0xdeadbeefcafe1337ULL;

// Two best generators closer than this in cosine make a sample a boundary sample.
constexpr double kVoronoiMargin = 0.05;

constexpr std::size_t kBlockSamples = 4096;

// Feeds the points of the sampler seeded with `seed`, in sequence order, to
// `visit(acc, point)`. Fixed blocks of samples run in parallel, each from its
// jumped-ahead state, so every block sees the points of the sequential loop.
// Accumulators hold exact counts and flags: merging them in any order, over
// any number of threads, gives the same result.
template <class Acc, class Visit>
Acc sample_reduce(std::uint64_t seed, std::size_t samples, const Acc& zero, const Visit& visit) {
    const auto run_block = [&](Acc& acc, std::size_t block) {
        const std::size_t first = block * kBlockSamples;
        const std::size_t count = std::min(kBlockSamples, samples - first);
        SphereSampler sampler(seed);
        sampler.discard_points(first);
        for (std::size_t s = 0; s < count; ++s) visit(acc, sampler.next_point());
    };
    const std::size_t blocks = samples / kBlockSamples + (samples % kBlockSamples != 0 ? 1 : 0);
    if (blocks <= 1) {
        Acc acc = zero;
        if (blocks == 1) run_block(acc, 0);
        return acc;
    }
    tbb::enumerable_thread_specific<Acc> partials(zero);
    for_each_index(blocks, [&](std::size_t b) { run_block(partials.local(), b); });
    Acc total = zero;
    for (const Acc& partial : partials) total.merge(partial);
    return total;
}

// A cap ready for the sample loop: inside when axis · p >= cos_half (NaN is outside).
struct UnitCap {
    CartesianPoint axis;
    double cos_half = 0.0;

    [[nodiscard]] bool contains(const CartesianPoint& p) const noexcept { return axis.dot(p) >= cos_half; }
};

bool any_contains(std::span<const UnitCap> caps, const CartesianPoint& p) noexcept {
    return std::ranges::any_of(caps, [&p](const UnitCap& c) { return c.contains(p); });
}

std::vector<UnitCap> unit_caps(std::span<const SphericalPoint> centres, std::span<const double> half_angles) {
    std::vector<UnitCap> caps(centres.size());
    for (std::size_t i = 0; i < caps.size(); ++i) caps[i] = {unit_vector(centres[i]), std::cos(half_angles[i])};
    return caps;
}

struct ExclusivityCounts {
    std::size_t inside = 0;
    std::size_t exclusive = 0;

    void merge(const ExclusivityCounts& o) noexcept {
        inside += o.inside;
        exclusive += o.exclusive;
    }
};

struct CoverageCounts {
    std::size_t covered = 0;
    std::size_t overlapped = 0;

    void merge(const CoverageCounts& o) noexcept {
        covered += o.covered;
        overlapped += o.overlapped;
    }
};

// Cell counts and the n × n neighbour flags of a Voronoi sampling.
struct VoronoiTally {
    std::size_t n = 0;
    std::vector<std::size_t> counts;
    std::vector<std::uint8_t> adjacent;

    explicit VoronoiTally(std::size_t generators)
        : n(generators), counts(generators), adjacent(generators * generators) {}

    void mark(std::size_t a, std::size_t b) noexcept {
        adjacent[a * n + b] = 1;
        adjacent[b * n + a] = 1;
    }

    void merge(const VoronoiTally& o) noexcept {
        for (std::size_t g = 0; g < n; ++g) counts[g] += o.counts[g];
        for (std::size_t k = 0; k < adjacent.size(); ++k) adjacent[k] |= o.adjacent[k];
    }
};

}  // namespace

double cap_exclusivity(std::size_t cap_index, std::span<const SphericalPoint> centres,
                       std::span<const double> half_angles, std::size_t samples) {
    const std::size_t n = centres.size();
    if (cap_index >= n) stop("assertion failed: cap_index < n");
    check_index(n - 1, half_angles.size());
    const std::vector<UnitCap> caps = unit_caps(centres, half_angles.first(n));
    const UnitCap own = caps[cap_index];
    const std::span<const UnitCap> before(caps.data(), cap_index);
    const std::span<const UnitCap> after(caps.data() + cap_index + 1, n - cap_index - 1);

    const ExclusivityCounts counts = sample_reduce(
        kExclusivitySeed + cap_index, samples, ExclusivityCounts{},
        [&](ExclusivityCounts& acc, const CartesianPoint& p) {
            if (!own.contains(p)) return;
            ++acc.inside;
            if (!any_contains(before, p) && !any_contains(after, p)) ++acc.exclusive;
        });
    if (counts.inside == 0) return 1.0;
    return static_cast<double>(counts.exclusive) / static_cast<double>(counts.inside);
}

CoverageEstimate estimate_coverage(std::span<const SphericalPoint> centres, std::span<const double> half_angles,
                                   std::size_t samples) {
    check_equal(centres.size(), half_angles.size(), "every cap needs a centre and a half-angle");
    const std::vector<UnitCap> caps = unit_caps(centres, half_angles);

    const CoverageCounts counts =
        sample_reduce(kCoverageSeed, samples, CoverageCounts{}, [&](CoverageCounts& acc, const CartesianPoint& p) {
            std::size_t inside = 0;
            for (const UnitCap& cap : caps) inside += cap.contains(p) ? 1 : 0;
            if (inside >= 1) ++acc.covered;
            if (inside >= 2) ++acc.overlapped;
        });
    const double total = static_cast<double>(samples);
    return {
        .coverage_fraction = static_cast<double>(counts.covered) / total,
        .covered_area = kFourPi * (static_cast<double>(counts.covered) / total),
        .overlap_area = kFourPi * (static_cast<double>(counts.overlapped) / total),
        .void_samples = samples - counts.covered,
        .total_samples = samples,
    };
}

std::vector<VoronoiCell> spherical_voronoi(std::span<const SphericalPoint> generators, std::size_t samples) {
    const std::size_t n = generators.size();
    if (n == 0) return {};
    if (n == 1) return {VoronoiCell{{}, 0, kFourPi}};
    std::vector<CartesianPoint> units(n);
    std::ranges::transform(generators, units.begin(), [](const SphericalPoint& g) { return unit_vector(g); });

    const VoronoiTally tally =
        sample_reduce(kVoronoiSeed, samples, VoronoiTally(n), [&](VoronoiTally& acc, const CartesianPoint& p) {
            double best = -std::numeric_limits<double>::infinity();
            double second = best;
            std::size_t best_index = 0;
            std::size_t second_index = 0;
            // Strict comparisons: a tie keeps the lower index ahead.
            for (std::size_t k = 0; k < n; ++k) {
                const double d = units[k].dot(p);
                if (d > best) {
                    second = best;
                    second_index = best_index;
                    best = d;
                    best_index = k;
                } else if (d > second) {
                    second = d;
                    second_index = k;
                }
            }
            ++acc.counts[best_index];
            if (best - second < kVoronoiMargin) acc.mark(best_index, second_index);
        });

    std::vector<VoronoiCell> cells(n);
    for (std::size_t g = 0; g < n; ++g) {
        VoronoiCell& cell = cells[g];
        cell.generator_index = g;
        cell.area = (static_cast<double>(tally.counts[g]) * kFourPi) / static_cast<double>(samples);
        for (std::size_t k = 0; k < n; ++k) {
            if (k != g && tally.adjacent[g * n + k] != 0) cell.neighbors.push_back(k);
        }
    }
    return cells;
}

}  // namespace vantorel::core::spatial
