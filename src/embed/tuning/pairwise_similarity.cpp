#include "embed/tuning/pairwise_similarity.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>
#include <string_view>
#include <unordered_map>

#include "core/distance.hpp"
#include "core/invariant.hpp"
#include "core/numeric.hpp"
#include "core/parallel.hpp"

namespace vantorel::embed {
namespace {

constexpr const char* kUnequalLengths = "vectors must have equal length for cosine similarity";
// Up to this many rows the pairs are summed one by one in pair order.
constexpr std::size_t kSequentialRows = 255;
// Rows per panel: the dot products are computed in tiles of kLanes × kLanes pairs.
constexpr std::size_t kLanes = 8;
// Panels of rows per parallel task.
constexpr std::size_t kPanelsPerTask = 8;

// The corpus transposed into panels of kLanes rows: panel p holds rows
// [p·kLanes, (p+1)·kLanes) with element (row r, component k) at k·kLanes + r,
// zero past the last row. A tile then reads both of its panels front to back.
struct Panels {
    std::vector<double> values;
    std::vector<double> norms;  // Euclidean norm of every row, inf when its squares overflow
    std::size_t dim = 0;

    [[nodiscard]] const double* panel(std::size_t p) const noexcept { return values.data() + p * dim * kLanes; }
};

Panels pack(const Corpus& corpus, std::size_t dim) {
    const std::size_t n = corpus.size();
    const std::size_t panels = (n + kLanes - 1) / kLanes;
    Panels out;
    out.dim = dim;
    out.values.assign(panels * dim * kLanes, 0.0);
    out.norms.resize(n);
    core::for_each_block(panels, 16, [&](std::size_t, std::size_t begin, std::size_t end) {
        for (std::size_t p = begin; p < end; ++p) {
            double* dst = out.values.data() + p * dim * kLanes;
            for (std::size_t r = 0; r < kLanes && p * kLanes + r < n; ++r) {
                const std::size_t row = p * kLanes + r;
                const double* src = corpus[row].data();
                // Squares summed in index order, as the cosine of two rows does.
                double sq = 0.0;
                for (std::size_t k = 0; k < dim; ++k) {
                    dst[k * kLanes + r] = src[k];
                    sq += src[k] * src[k];
                }
                out.norms[row] = std::sqrt(sq);
            }
        }
    });
    return out;
}

// Dot products of the rows of panel a with those of panel b, written row by
// row to out. Each of the kLanes² sums runs over k in index order, so it equals
// the plain dot product bit for bit, while the sums of Rows rows advance
// together in vectors of W lanes. Rows and W are sized so that the sums stay
// in the registers of the instruction set each version below is built for.
template <std::size_t W, std::size_t Rows>
[[gnu::always_inline]] inline void tile_dots_in(const double* a, const double* b, std::size_t dim, double* out) {
    // The typedef form: GCC drops this attribute from a dependent alias declaration.
    typedef double Vec __attribute__((vector_size(W * sizeof(double))));
    constexpr std::size_t kCols = kLanes / W;
    for (std::size_t r0 = 0; r0 < kLanes; r0 += Rows) {
        Vec acc[Rows][kCols] = {};
        for (std::size_t k = 0; k < dim; ++k) {
            Vec bk[kCols];
            std::memcpy(bk, b + k * kLanes, sizeof bk);
            const double* ak = a + k * kLanes + r0;
            for (std::size_t r = 0; r < Rows; ++r) {
                for (std::size_t c = 0; c < kCols; ++c) acc[r][c] += ak[r] * bk[c];
            }
        }
        std::memcpy(out + r0 * kLanes, acc, sizeof acc);
    }
}

// One version per instruction set where the compiler targets x86-64, the
// plain one elsewhere. No version fuses multiplies into adds, so all give the
// same bits.
void tile_dots_plain(const double* a, const double* b, std::size_t dim, double* out) {
    tile_dots_in<2, 4>(a, b, dim, out);
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void tile_dots_avx2(const double* a, const double* b, std::size_t dim, double* out) {
    tile_dots_in<4, 4>(a, b, dim, out);
}
__attribute__((target("avx512f"))) void tile_dots_avx512(const double* a, const double* b, std::size_t dim,
                                                         double* out) {
    tile_dots_in<8, 8>(a, b, dim, out);
}

// The version is picked on first use rather than by the loader: a loader-run
// resolver executes before sanitizer runtimes are ready and crashes them.
void tile_dots(const double* a, const double* b, std::size_t dim, double* out) {
    using Version = void (*)(const double*, const double*, std::size_t, double*);
    static const Version chosen = [] {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx512f")) return &tile_dots_avx512;
        if (__builtin_cpu_supports("avx2")) return &tile_dots_avx2;
        return &tile_dots_plain;
    }();
    chosen(a, b, dim, out);
}
#else
void tile_dots(const double* a, const double* b, std::size_t dim, double* out) { tile_dots_plain(a, b, dim, out); }
#endif

struct Sums {
    double intra = 0.0;
    double inter = 0.0;

    void add(bool same_category, double cosine) noexcept { (same_category ? intra : inter) += cosine; }
};

// Adds the cosines of the pairs (i, j), i < j, of one tile to the sums, in
// row-then-column order.
void add_tile(const Corpus& corpus, const Panels& panels, std::span<const std::uint32_t> labels, std::size_t pa,
              std::size_t pb, const double* dots, Sums& sums) {
    const std::size_t n = labels.size();
    for (std::size_t r = 0; r < kLanes; ++r) {
        const std::size_t i = pa * kLanes + r;
        if (i >= n) return;
        const std::size_t first = pa == pb ? r + 1 : 0;
        for (std::size_t c = first; c < kLanes; ++c) {
            const std::size_t j = pb * kLanes + c;
            if (j >= n) break;
            // The steps of core::cosine_similarity after its sums, with the
            // norms taken once per row; a pair with an overflowing norm (its
            // product infinite, or NaN against a zero row) takes its rescaled form.
            const double denom = panels.norms[i] * panels.norms[j];
            double cosine;
            if (!std::isfinite(denom)) {
                cosine = core::cosine_similarity(corpus[i], corpus[j]);
            } else {
                cosine = denom < core::kEps ? 0.0 : std::clamp(dots[r * kLanes + c] / denom, -1.0, 1.0);
            }
            sums.add(labels[i] == labels[j], cosine);
        }
    }
}

Sums blocked_sums(const Corpus& corpus, std::span<const std::uint32_t> labels, std::size_t dim) {
    const Panels panels = pack(corpus, dim);
    const std::size_t count = (labels.size() + kLanes - 1) / kLanes;
    const std::size_t tasks = (count + kPanelsPerTask - 1) / kPanelsPerTask;
    std::vector<Sums> partial(tasks);
    core::for_each_block(count, kPanelsPerTask, [&](std::size_t task, std::size_t begin, std::size_t end) {
        double dots[kLanes * kLanes];
        Sums sums;
        // Column panel outermost: it stays in cache while the task's row panels pass over it.
        for (std::size_t pb = begin; pb < count; ++pb) {
            for (std::size_t pa = begin; pa < std::min(end, pb + 1); ++pa) {
                tile_dots(panels.panel(pa), panels.panel(pb), dim, dots);
                add_tile(corpus, panels, labels, pa, pb, dots, sums);
            }
        }
        partial[task] = sums;
    });
    Sums total;
    for (const Sums& s : partial) {
        total.intra += s.intra;
        total.inter += s.inter;
    }
    return total;
}

Sums sequential_sums(const Corpus& corpus, std::span<const std::uint32_t> labels) {
    Sums sums;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        for (std::size_t j = i + 1; j < labels.size(); ++j) {
            sums.add(labels[i] == labels[j], core::cosine_similarity(corpus[i], corpus[j]));
        }
    }
    return sums;
}

double mean(double sum, std::uint64_t count) { return count == 0 ? 0.0 : sum / static_cast<double>(count); }

}  // namespace

CategoryNumbers CategoryNumbers::of(const std::vector<std::string>& categories) {
    std::unordered_map<std::string_view, std::uint32_t> numbers;
    CategoryNumbers out;
    out.of_item.reserve(categories.size());
    for (const std::string& label : categories) {
        const auto [it, added] = numbers.try_emplace(label, static_cast<std::uint32_t>(out.sizes.size()));
        if (added) out.sizes.push_back(0);
        ++out.sizes[it->second];
        out.of_item.push_back(it->second);
    }
    return out;
}

PairSimilarityMeans pair_similarity_means(const Corpus& embeddings, const CategoryNumbers& categories) {
    const std::span<const std::uint32_t> labels = categories.of_item;
    const std::size_t n = embeddings.size();
    core::check_equal(labels.size(), n, "every embedding needs one category");
    if (n < 2) return {};
    const std::size_t ragged = embeddings.first_ragged_row();
    if (ragged < n) core::check_equal(embeddings[0].size(), embeddings[ragged].size(), kUnequalLengths);

    // Pair counts follow from the category sizes.
    std::uint64_t intra_pairs = 0;
    for (const std::uint64_t s : categories.sizes) intra_pairs += s * (s - (s > 0 ? 1 : 0)) / 2;
    const std::uint64_t all_pairs = static_cast<std::uint64_t>(n) * (n - 1) / 2;

    const Sums sums = n <= kSequentialRows ? sequential_sums(embeddings, labels)
                                           : blocked_sums(embeddings, labels, embeddings[0].size());
    return {mean(sums.intra, intra_pairs), mean(sums.inter, all_pairs - intra_pairs)};
}

double pairwise_similarity(const Corpus& embeddings, const std::vector<std::string>& categories,
                           bool across_categories) {
    const PairSimilarityMeans means = pair_similarity_means(embeddings, CategoryNumbers::of(categories));
    return across_categories ? means.inter : means.intra;
}

}  // namespace vantorel::embed
