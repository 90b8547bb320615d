#include "embed/projection/laplacian.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "core/interrupt.hpp"
#include "core/invariant.hpp"
#include "core/norm.hpp"
#include "core/numeric.hpp"
#include "core/parallel.hpp"

namespace vantorel::embed {

namespace {

constexpr std::size_t kMinEmbeddings = 4;
constexpr double kDegreeFloor = 1e-6;
constexpr double kTotalSimilarityFloor = 1e-6;
constexpr std::uint64_t kSeed = 0xc0ffeecafe00ULL;
constexpr int kMaxIterations = 400;
constexpr double kConvergence = 1e-10;
constexpr double kNegligibleEigenvalue = 1e-10;

// Fixed task sizes; no result below depends on how many threads run the tasks.
constexpr std::size_t kPairBlock = 32;
constexpr std::size_t kProductRowsPerTask = 1024;

// Appends the coordinates strictly above the threshold in absolute value (NaN never is).
void append_active(std::span<const double> values, double threshold, std::vector<ActiveIndex>& out) {
    if (!values.empty() && values.size() - 1 > std::numeric_limits<ActiveIndex>::max()) {
        core::stop("embedding too long for 32-bit coordinate indices");
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (std::fabs(values[i]) > threshold) out.push_back(static_cast<ActiveIndex>(i));
    }
}

// Merge of two strictly ascending lists. Blocks of four are compared
// all-against-all and the block with the smaller last element is passed, so a
// merge takes about a quarter of the steps of a one-by-one merge; the tails are
// merged one by one. No branch depends on the data.
std::size_t intersection_size(std::span<const ActiveIndex> a, std::span<const ActiveIndex> b) noexcept {
    constexpr std::ptrdiff_t kBlock = 4;
    const ActiveIndex* pa = a.data();
    const ActiveIndex* pb = b.data();
    const ActiveIndex* const ea = pa + a.size();
    const ActiveIndex* const eb = pb + b.size();
    std::size_t common = 0;
    while (ea - pa >= kBlock && eb - pb >= kBlock) {
        // Indices are unique within a list, so each of a's four matches at most one of b's.
        for (std::ptrdiff_t x = 0; x < kBlock; ++x) {
            const ActiveIndex v = pa[x];
            common += static_cast<std::size_t>((v == pb[0]) | (v == pb[1]) | (v == pb[2]) | (v == pb[3]));
        }
        const ActiveIndex last_a = pa[kBlock - 1];
        const ActiveIndex last_b = pb[kBlock - 1];
        pa += kBlock * static_cast<std::ptrdiff_t>(last_a <= last_b);
        pb += kBlock * static_cast<std::ptrdiff_t>(last_b <= last_a);
    }
    while (pa != ea && pb != eb) {
        const ActiveIndex x = *pa;
        const ActiveIndex y = *pb;
        common += static_cast<std::size_t>(x == y);
        pa += static_cast<std::ptrdiff_t>(x <= y);
        pb += static_cast<std::ptrdiff_t>(y <= x);
    }
    return common;
}

struct Candidate {
    double similarity;
    std::size_t index;
};

// Whether a is kept in preference to b: higher similarity (total order), then
// higher index, so among equal similarities the lower index is dropped first.
bool outranks(const Candidate& a, const Candidate& b) noexcept {
    const std::int64_t ka = core::total_order_key(a.similarity);
    const std::int64_t kb = core::total_order_key(b.similarity);
    if (ka != kb) return ka > kb;
    return a.index > b.index;
}

// Every vertex's k best candidates, each queue a heap in its own fixed slot
// range with the weakest candidate on top.
class NeighbourQueues {
public:
    NeighbourQueues(std::size_t vertices, std::size_t k)
        : k_(k), slots_(core::saturating_mul(vertices, k)), counts_(vertices, 0) {}

    void offer(std::size_t vertex, Candidate c) noexcept {
        Candidate* const queue = slots_.data() + vertex * k_;
        std::size_t& count = counts_[vertex];
        if (count < k_) {
            queue[count++] = c;
            std::push_heap(queue, queue + count, outranks);
            return;
        }
        if (!outranks(c, queue[0])) return;
        std::pop_heap(queue, queue + k_, outranks);
        queue[k_ - 1] = c;
        std::push_heap(queue, queue + k_, outranks);
    }

    [[nodiscard]] std::size_t size() const noexcept { return counts_.size(); }
    [[nodiscard]] std::span<const Candidate> operator[](std::size_t vertex) const noexcept {
        return {slots_.data() + vertex * k_, counts_[vertex]};
    }

private:
    std::size_t k_;
    std::vector<Candidate> slots_;
    std::vector<std::size_t> counts_;
};

struct VertexRange {
    std::size_t begin;
    std::size_t end;
};

// Offers every pair (i, j) with i in `rows`, j in `columns` and i < j to the
// queues at both ends; similarity 0 makes no candidate.
void offer_pairs(const ActiveSets& sets, VertexRange rows, VertexRange columns, NeighbourQueues& queues) {
    for (std::size_t j = columns.begin; j != columns.end; ++j) {
        const std::span<const ActiveIndex> column_set = sets[j];
        for (std::size_t i = rows.begin; i != rows.end && i < j; ++i) {
            const double similarity = jaccard(sets[i], column_set);
            if (similarity <= 0.0) continue;
            queues.offer(i, {similarity, j});
            queues.offer(j, {similarity, i});
        }
    }
}

// The two slots that meet in pairing p of a round of a round-robin tournament
// over `slots` (even) slots: the last slot stays put while the others rotate,
// so every two slots meet in exactly one of the slots - 1 rounds.
std::pair<std::size_t, std::size_t> round_robin_pair(std::size_t round, std::size_t p, std::size_t slots) {
    const std::size_t rotating = slots - 1;
    if (p == 0) return {round, rotating};
    return {(round + p) % rotating, (round + rotating - p) % rotating};
}

// Each vertex's k most similar vertices by Jaccard similarity of active sets.
// Every pair is merged once, in tiles of two vertex blocks. The tiles of one
// round touch disjoint blocks, hence disjoint queues, and the kept candidates
// do not depend on the order of the offers.
NeighbourQueues nearest_neighbours(const ActiveSets& sets, std::size_t k) {
    const std::size_t n = sets.size();
    NeighbourQueues queues(n, k);
    const std::size_t blocks = (n + kPairBlock - 1) / kPairBlock;
    const auto block = [n](std::size_t b) { return VertexRange{b * kPairBlock, std::min(n, (b + 1) * kPairBlock)}; };

    const auto within_block = [&](std::size_t b) { offer_pairs(sets, block(b), block(b), queues); };
    core::for_each_index(blocks, within_block);

    const std::size_t slots = blocks + blocks % 2;  // an odd count gets an idle slot
    for (std::size_t round = 0; round + 1 < slots; ++round) {
        core::check_interrupt();
        const auto between_blocks = [&](std::size_t p) {
            const auto [a, b] = round_robin_pair(round, p, slots);
            if (a >= blocks || b >= blocks) return;
            offer_pairs(sets, block(std::min(a, b)), block(std::max(a, b)), queues);
        };
        core::for_each_index(slots / 2, between_blocks);
    }
    return queues;
}

// Symmetric sparse matrix in compressed rows, each row's columns ascending.
struct SparseMatrix {
    std::vector<std::size_t> row_start;
    std::vector<std::size_t> column;
    std::vector<double> value;

    [[nodiscard]] std::size_t rows() const noexcept { return row_start.size() - 1; }

    // Each row's products are summed in ascending column order, as a dense
    // product would (the zero terms do not change a sum).
    void multiply(std::span<const double> v, std::span<double> out) const {
        core::for_each_block(rows(), kProductRowsPerTask, [&](std::size_t, std::size_t begin, std::size_t end) {
            for (std::size_t i = begin; i != end; ++i) {
                double sum = 0.0;
                for (std::size_t e = row_start[i]; e != row_start[i + 1]; ++e) sum += value[e] * v[column[e]];
                out[i] = sum;
            }
        });
    }
};

struct Edge {
    std::size_t to;
    double weight;
};

// The union of both directions of the neighbour relation as weighted edges.
// An edge kept from both ends carries the same weight twice; one copy stays.
SparseMatrix edge_weights(const NeighbourQueues& queues) {
    const std::size_t n = queues.size();
    SparseMatrix m;
    m.row_start.assign(n + 1, 0);
    for (std::size_t i = 0; i < n; ++i) {
        for (const Candidate& c : queues[i]) {
            ++m.row_start[i + 1];
            ++m.row_start[c.index + 1];
        }
    }
    for (std::size_t i = 0; i < n; ++i) m.row_start[i + 1] += m.row_start[i];

    std::vector<Edge> entries(m.row_start[n]);
    std::vector<std::size_t> cursor(m.row_start.begin(), m.row_start.end() - 1);
    for (std::size_t i = 0; i < n; ++i) {
        for (const Candidate& c : queues[i]) {
            entries[cursor[i]++] = {c.index, c.similarity};
            entries[cursor[c.index]++] = {i, c.similarity};
        }
    }

    m.column.reserve(entries.size());
    m.value.reserve(entries.size());
    const auto by_column = [](const Edge& a, const Edge& b) { return a.to < b.to; };
    std::size_t kept = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto first = entries.begin() + static_cast<std::ptrdiff_t>(m.row_start[i]);
        const auto last = entries.begin() + static_cast<std::ptrdiff_t>(m.row_start[i + 1]);
        std::sort(first, last, by_column);
        for (auto e = first; e != last; ++e) {
            if (e != first && e->to == (e - 1)->to) continue;
            m.column.push_back(e->to);
            m.value.push_back(e->weight);
        }
        m.row_start[i] = kept;
        kept = m.column.size();
    }
    m.row_start[n] = kept;
    return m;
}

// Sum of each vertex's edge weights in ascending neighbour order, floored so
// that isolated vertices can still be normalised.
std::vector<double> floored_degrees(const SparseMatrix& weights) {
    std::vector<double> degrees(weights.rows());
    for (std::size_t i = 0; i < degrees.size(); ++i) {
        double sum = 0.0;
        for (std::size_t e = weights.row_start[i]; e != weights.row_start[i + 1]; ++e) sum += weights.value[e];
        degrees[i] = std::fmax(sum, kDegreeFloor);
    }
    return degrees;
}

// D^-1/2 W D^-1/2 in place; the lower vertex's factor is applied first on both
// sides of the diagonal so that the matrix stays exactly symmetric.
void normalise_by_degrees(SparseMatrix& m, std::span<const double> degrees) {
    std::vector<double> inv_sqrt(degrees.size());
    for (std::size_t i = 0; i < degrees.size(); ++i) inv_sqrt[i] = 1.0 / std::sqrt(degrees[i]);
    for (std::size_t i = 0; i < m.rows(); ++i) {
        for (std::size_t e = m.row_start[i]; e != m.row_start[i + 1]; ++e) {
            const std::size_t lo = std::min(i, m.column[e]);
            const std::size_t hi = std::max(i, m.column[e]);
            m.value[e] = m.value[e] * inv_sqrt[lo] * inv_sqrt[hi];
        }
    }
}

// Eigenvector of eigenvalue 1 of the normalised adjacency (exact when no degree is floored).
std::vector<double> trivial_eigenvector(std::span<const double> degrees) {
    double total = 0.0;
    for (const double d : degrees) total += d;
    const double root_total = std::sqrt(total);
    std::vector<double> t(degrees.size());
    for (std::size_t i = 0; i < t.size(); ++i) t[i] = std::sqrt(degrees[i]) / root_total;
    return t;
}

// Removes from x its components along each unit vector of the basis, in order.
void deflate(std::span<double> x, const std::vector<std::vector<double>>& basis) {
    for (const std::vector<double>& u : basis) {
        const double along = dot(x, u);
        for (std::size_t i = 0; i < x.size(); ++i) x[i] -= along * u[i];
    }
}

void divide(std::span<double> x, double by) {
    for (double& value : x) value /= by;
}

struct Eigenpair {
    std::vector<double> vector;
    double value;
};

// Power iteration for the eigenvalue of largest magnitude in the complement of
// the basis; the product of the accepted vector is reused by the next step.
Eigenpair dominant_eigenpair(const SparseMatrix& m, const std::vector<std::vector<double>>& basis,
                             std::uint64_t& state) {
    const std::size_t n = m.rows();
    std::vector<double> v = gaussian_vector(state, n);
    deflate(v, basis);
    const double start_norm = magnitude(v);
    if (start_norm > core::kEps) divide(v, start_norm);

    std::vector<double> mv(n);
    std::vector<double> w(n);
    std::vector<double> mw(n);
    m.multiply(v, mv);
    double previous = 0.0;
    for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
        core::check_interrupt();
        std::copy(mv.begin(), mv.end(), w.begin());
        deflate(w, basis);
        const double norm = magnitude(w);
        if (norm > core::kEps) divide(w, norm);
        if (norm < core::kEps) return {std::move(v), previous};
        m.multiply(w, mw);
        const double lambda = dot(w, mw);
        if (std::fmax(1.0 - std::fabs(dot(w, v)), 0.0) < kConvergence) return {std::move(w), lambda};
        std::swap(v, w);
        std::swap(mv, mw);
        previous = lambda;
    }
    return {std::move(v), previous};
}

struct Spectrum {
    std::array<std::vector<double>, 3> vectors;
    std::array<double, 3> values;
};

// Three eigenpairs beyond the trivial one, largest signed eigenvalue first.
Spectrum leading_nontrivial_spectrum(const SparseMatrix& m, std::vector<double> trivial) {
    std::vector<std::vector<double>> basis{std::move(trivial)};
    std::array<double, 3> found_values{};
    std::uint64_t state = kSeed;
    for (double& value : found_values) {
        Eigenpair pair = dominant_eigenpair(m, basis, state);
        value = pair.value;
        basis.push_back(std::move(pair.vector));
    }

    std::array<std::size_t, 3> order{0, 1, 2};
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return core::total_order_less(found_values[b], found_values[a]);
    });
    Spectrum s;
    for (std::size_t c = 0; c < 3; ++c) {
        s.vectors[c] = std::move(basis[order[c] + 1]);
        s.values[c] = found_values[order[c]];
    }
    return s;
}

}  // namespace

void ActiveSets::append(std::span<const double> values, double threshold) {
    append_active(values, threshold, indices_);
    offsets_.push_back(indices_.size());
}

std::vector<ActiveIndex> active_set(std::span<const double> values, double threshold) {
    std::vector<ActiveIndex> active;
    append_active(values, threshold, active);
    return active;
}

double jaccard(std::span<const ActiveIndex> a, std::span<const ActiveIndex> b) noexcept {
    if (a.empty() && b.empty()) return 0.0;
    const std::size_t common = intersection_size(a, b);
    return static_cast<double>(common) / static_cast<double>(a.size() + b.size() - common);
}

core::Expected<LaplacianEigenmapProjection, ProjectionError> LaplacianEigenmapProjection::fit_with_params(
    const Corpus& embeddings, std::size_t k_neighbors, RadialStrategy radial, double active_threshold) {
    const std::size_t n = embeddings.size();
    if (n < kMinEmbeddings) return core::Unexpected{ProjectionError::too_few_embeddings(kMinEmbeddings, n)};
    if (embeddings[0].empty()) return core::Unexpected{ProjectionError::dimension_too_low(0, 1)};

    const std::size_t k = std::max<std::size_t>(std::min(k_neighbors, n - 1), 1);
    LaplacianEigenmapProjection fitted(std::move(radial), active_threshold, embeddings[0].size());
    for (std::size_t i = 0; i < n; ++i) fitted.active_sets_.append(embeddings[i], active_threshold);

    SparseMatrix adjacency = edge_weights(nearest_neighbours(fitted.active_sets_, k));
    fitted.degrees_ = floored_degrees(adjacency);
    normalise_by_degrees(adjacency, fitted.degrees_);

    Spectrum spectrum = leading_nontrivial_spectrum(adjacency, trivial_eigenvector(fitted.degrees_));
    fitted.eigenvectors_ = std::move(spectrum.vectors);
    fitted.eigenvalues_ = spectrum.values;
    const auto& l = fitted.eigenvalues_;
    fitted.connectivity_ratio_ = (std::fabs(l[0]) + std::fabs(l[1]) + std::fabs(l[2])) / 3.0;
    return fitted;
}

std::array<double, 3> LaplacianEigenmapProjection::project_to_3d(std::span<const double> values) const {
    const std::vector<ActiveIndex> query = active_set(values, active_threshold_);
    const std::size_t n = active_sets_.size();
    std::vector<double> weight(n);
    double total = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
        weight[j] = jaccard(query, active_sets_[j]);
        total += weight[j];
    }
    const double inv_q = 1.0 / std::sqrt(std::fmax(total, kTotalSimilarityFloor));
    for (std::size_t j = 0; j < n; ++j) weight[j] = weight[j] * inv_q / std::sqrt(degrees_[j]);

    std::array<double, 3> xyz{};
    for (std::size_t c = 0; c < 3; ++c) {
        if (std::fabs(eigenvalues_[c]) < kNegligibleEigenvalue) continue;
        xyz[c] = dot(weight, eigenvectors_[c]) / eigenvalues_[c];
    }
    return xyz;
}

core::SphericalPoint LaplacianEigenmapProjection::project(std::span<const double> embedding) const {
    const auto [x, y, z] = project_to_3d(embedding);
    return place_on_sphere(radial_.radius(magnitude(embedding)), x, y, z);
}

ProjectedPoint LaplacianEigenmapProjection::project_rich(std::span<const double> embedding) const {
    const double norm = magnitude(embedding);
    const auto [x, y, z] = project_to_3d(embedding);
    const double m = core::l2_norm(x, y, z);
    return {place_on_sphere(radial_.radius(norm), x, y, z), std::tanh(m), norm, m};
}

}  // namespace vantorel::embed
