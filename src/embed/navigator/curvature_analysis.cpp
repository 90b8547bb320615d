#include "embed/navigator/curvature_analysis.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <span>
#include <tuple>
#include <vector>

#include "core/parallel.hpp"
#include "core/spatial.hpp"
#include "embed/navigator/category_caps.hpp"

namespace vantorel::embed::navigator {
namespace {

struct RankedTriple {
    std::size_t i = 0;
    std::size_t j = 0;
    std::size_t k = 0;
    double excess = 0.0;
};

// Larger excess first, equal excesses in generation order (i, then j, then k
// ascending): the order of a stable sort by excess descending. A NaN excess
// ranks after every number.
bool ranks_before(const RankedTriple& a, const RankedTriple& b) noexcept {
    if (a.excess > b.excess) return true;
    if (a.excess < b.excess) return false;
    const bool a_nan = std::isnan(a.excess);
    if (a_nan != std::isnan(b.excess)) return !a_nan;
    return std::tie(a.i, a.j, a.k) < std::tie(b.i, b.j, b.k);
}

// Keeps the `capacity` best triples seen so far as a heap whose front is the
// worst of them, so ranking all triples needs memory for the kept ones only.
class TopTriples {
public:
    explicit TopTriples(std::size_t capacity) : capacity_(capacity) { kept_.reserve(capacity); }

    void offer(const RankedTriple& t) {
        if (kept_.size() < capacity_) {
            kept_.push_back(t);
            std::ranges::push_heap(kept_, ranks_before);
        } else if (capacity_ > 0 && ranks_before(t, kept_.front())) {
            std::ranges::pop_heap(kept_, ranks_before);
            kept_.back() = t;
            std::ranges::push_heap(kept_, ranks_before);
        }
    }

    // Best first.
    std::vector<RankedTriple> take() && {
        std::ranges::sort_heap(kept_, ranks_before);
        return std::move(kept_);
    }

private:
    std::size_t capacity_;
    std::vector<RankedTriple> kept_;
};

std::uint64_t triple_count(std::uint64_t n) noexcept {
    if (n < 3) return 0;
    return n * (n - 1) / 2 * (n - 2) / 3;
}

// Feeds every triple i < j < k to `top`, in generation order. The excesses
// of one i are computed in parallel into `row`, then offered in order.
void rank_triples(std::span<const core::SphericalPoint> centroids, TopTriples& top) {
    const std::size_t n = centroids.size();
    std::vector<double> row;
    std::vector<std::size_t> offsets(n);
    for (std::size_t i = 0; i + 2 < n; ++i) {
        std::size_t len = 0;
        for (std::size_t j = i + 1; j < n; ++j) {
            offsets[j] = len;
            len += n - 1 - j;
        }
        row.resize(len);
        core::for_each_index(n - i - 1, [&](std::size_t step) {
            const std::size_t j = i + 1 + step;
            for (std::size_t k = j + 1; k < n; ++k) {
                row[offsets[j] + (k - j - 1)] = core::spatial::spherical_excess(centroids[i], centroids[j], centroids[k]);
            }
        });
        for (std::size_t j = i + 1; j < n; ++j) {
            for (std::size_t k = j + 1; k < n; ++k) top.offer({i, j, k, row[offsets[j] + (k - j - 1)]});
        }
    }
}

CategoryCurvatureSignature signature_of(std::size_t i, const std::string& name,
                                        std::span<const core::SphericalPoint> centroids) {
    const std::vector<double> s = core::spatial::curvature_signature(i, centroids);
    if (s.empty()) return {name, 0.0, 0.0, 0.0};
    const double sum = std::accumulate(s.begin(), s.end(), 0.0);
    return {name, sum / static_cast<double>(s.size()), s.back(), s.front()};
}

}  // namespace

CurvatureReport curvature_analysis(const CategoryLayer& layer, std::uint64_t curvature_top_n) {
    const auto& summaries = layer.summaries();
    const CategoryCaps caps = category_caps(layer);
    const std::span<const core::SphericalPoint> centroids = caps.centres;

    TopTriples top(static_cast<std::size_t>(std::min(curvature_top_n, triple_count(centroids.size()))));
    rank_triples(centroids, top);

    CurvatureReport report;
    for (const RankedTriple& t : std::move(top).take()) {
        report.top_triples.push_back({{summaries[t.i].name, summaries[t.j].name, summaries[t.k].name}, t.excess});
    }
    report.signatures.resize(summaries.size());
    core::for_each_index(summaries.size(), [&](std::size_t i) {
        report.signatures[i] = signature_of(i, summaries[i].name, centroids);
    });
    return report;
}

}  // namespace vantorel::embed::navigator
