#include "embed/projection/kernel_pca.hpp"

#include <algorithm>
#include <cmath>
#include <new>

#include "core/interrupt.hpp"
#include "core/invariant.hpp"
#include "core/norm.hpp"
#include "core/numeric.hpp"
#include "core/parallel.hpp"

namespace vantorel::embed {
namespace {

constexpr std::size_t kExhaustivePairsUpTo = 100;
constexpr std::size_t kSampledPairs = 5000;
constexpr std::uint64_t kBandwidthSeed = 0xcafebabeULL;
constexpr std::uint64_t kEigenSeed = 0xbeefcafeULL;
constexpr int kMaxIterations = 300;
constexpr double kConvergence = 1e-10;
constexpr double kInvSqrt2 = 0.7071067811865476;
constexpr double kMinBandwidth = 1e-8;
// Rows per parallel task. Every matrix entry is computed whole by one task in a
// fixed order, so the block size only affects speed, never the results.
constexpr std::size_t kRowBlock = 32;

// Sums over long rows keep kLanes independent partial sums (element i goes to
// lane i mod kLanes) joined in a fixed order at the end: a fixed summation
// order, like a plain loop, but one the compiler can vectorise without
// reassociating anything.
constexpr std::size_t kLanes = 8;

double join_lanes(const double (&acc)[kLanes]) noexcept {
    return ((acc[0] + acc[1]) + (acc[2] + acc[3])) + ((acc[4] + acc[5]) + (acc[6] + acc[7]));
}

double lane_dot(const double* a, const double* b, std::size_t len) noexcept {
    double acc[kLanes] = {};
    const std::size_t whole = len - len % kLanes;
    for (std::size_t i = 0; i < whole; i += kLanes) {
        for (std::size_t l = 0; l < kLanes; ++l) acc[l] += a[i + l] * b[i + l];
    }
    for (std::size_t i = whole; i < len; ++i) acc[i - whole] += a[i] * b[i];
    return join_lanes(acc);
}

// |a - b|², summed like lane_dot.
double squared_distance(const double* a, const double* b, std::size_t len) noexcept {
    double acc[kLanes] = {};
    const std::size_t whole = len - len % kLanes;
    for (std::size_t i = 0; i < whole; i += kLanes) {
        for (std::size_t l = 0; l < kLanes; ++l) {
            const double d = a[i + l] - b[i + l];
            acc[l] += d * d;
        }
    }
    for (std::size_t i = whole; i < len; ++i) {
        const double d = a[i] - b[i];
        acc[i - whole] += d * d;
    }
    return join_lanes(acc);
}

// A zero distance is exactly 1 even when gamma overflowed to infinity
// (inf × 0 would otherwise poison the kernel with NaN).
double rbf(double gamma, double d2) noexcept { return d2 == 0.0 ? 1.0 : std::exp(-gamma * d2); }

const double* row_ptr(std::span<const double> rows, std::size_t i, std::size_t dim) noexcept {
    return rows.data() + i * dim;
}

// An n × n matrix of zeros; sizes that cannot be addressed fail like any
// other allocation instead of wrapping around.
std::vector<double> allocate_square(std::size_t n) {
    if (n != 0 && n > std::vector<double>().max_size() / n) throw std::bad_alloc();
    return std::vector<double>(n * n);
}

// Uncentred kernel matrix. Only pairs i < j are evaluated; tiles above the
// diagonal fill both triangles.
std::vector<double> build_kernel(std::span<const double> rows, std::size_t n, std::size_t dim, double gamma) {
    std::vector<double> k = allocate_square(n);
    const std::size_t blocks = (n + kRowBlock - 1) / kRowBlock;
    std::vector<std::pair<std::size_t, std::size_t>> tiles;
    tiles.reserve(blocks * (blocks + 1) / 2);
    for (std::size_t bi = 0; bi < blocks; ++bi) {
        for (std::size_t bj = bi; bj < blocks; ++bj) tiles.emplace_back(bi, bj);
    }
    core::for_each_index(tiles.size(), [&](std::size_t t) {
        const auto [bi, bj] = tiles[t];
        const std::size_t i_end = std::min(n, (bi + 1) * kRowBlock);
        const std::size_t j_end = std::min(n, (bj + 1) * kRowBlock);
        for (std::size_t i = bi * kRowBlock; i < i_end; ++i) {
            const double* ti = row_ptr(rows, i, dim);
            for (std::size_t j = std::max(i + 1, bj * kRowBlock); j < j_end; ++j) {
                const double value = rbf(gamma, squared_distance(ti, row_ptr(rows, j, dim), dim));
                k[i * n + j] = value;
                k[j * n + i] = value;
            }
        }
    });
    for (std::size_t i = 0; i < n; ++i) k[i * n + i] = 1.0;
    return k;
}

struct KernelMeans {
    std::vector<double> rows;
    double grand = 0.0;
};

KernelMeans kernel_means(const std::vector<double>& k, std::size_t n) {
    std::vector<double> sums(n);
    core::for_each_block(n, kRowBlock, [&](std::size_t, std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            double s = 0.0;
            for (std::size_t j = 0; j < n; ++j) s += k[i * n + j];
            sums[i] = s;
        }
    });
    const double nf = static_cast<double>(n);
    KernelMeans means{std::vector<double>(n), 0.0};
    double total = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        total += sums[i];
        means.rows[i] = sums[i] / nf;
    }
    means.grand = total / (nf * nf);
    return means;
}

// Double centring in place. Each entry uses the means of its (lower, higher)
// index pair, so the result stays exactly symmetric.
void center_kernel(std::vector<double>& k, std::size_t n, const KernelMeans& means) {
    core::for_each_block(n, kRowBlock, [&](std::size_t, std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            for (std::size_t j = 0; j < n; ++j) {
                const std::size_t lo = std::min(i, j);
                const std::size_t hi = std::max(i, j);
                k[i * n + j] = k[i * n + j] - means.rows[lo] - means.rows[hi] + means.grand;
            }
        }
    });
}

// out = K v, each entry one row's lane_dot. Full rows on purpose: reading only
// the upper triangle halves the traffic, but its scattered lower-triangle
// updates cost more than they save.
void multiply(const std::vector<double>& k, std::size_t n, std::span<const double> v, std::span<double> out) {
    core::for_each_block(n, kRowBlock, [&](std::size_t, std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) out[i] = lane_dot(k.data() + i * n, v.data(), n);
    });
}

void divide_by(std::span<double> v, double d) noexcept {
    for (double& x : v) x /= d;
}

struct Eigenpair {
    std::vector<double> vector;
    double value = 0.0;
};

// One eigenpair of the symmetric matrix k by power iteration, deflated against
// the pairs already found. The product K w of each step is kept for the next.
Eigenpair power_iterate(const std::vector<double>& k, std::size_t n, std::uint64_t& state,
                        const std::vector<Eigenpair>& found) {
    std::vector<double> v = gaussian_vector(state, n);
    const double v_norm = magnitude(v);
    if (v_norm > core::kEps) divide_by(v, v_norm);
    std::vector<double> w(n);
    std::vector<double> product(n);
    std::vector<double> next_product(n);
    multiply(k, n, v, product);
    double lambda_prev = 0.0;
    double lambda = 0.0;
    for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
        core::check_interrupt();
        w.swap(product);
        for (const Eigenpair& u : found) {
            const double c = dot(w, u.vector);
            for (std::size_t i = 0; i < n; ++i) w[i] -= c * u.vector[i];
        }
        const double m = magnitude(w);
        if (m > core::kEps) divide_by(w, m);
        if (m < core::kEps) return {std::move(v), lambda_prev};
        multiply(k, n, w, next_product);
        lambda = dot(w, next_product);
        if (std::fmax(1.0 - std::fabs(dot(w, v)), 0.0) < kConvergence) return {std::move(w), lambda};
        v.swap(w);
        product.swap(next_product);
        lambda_prev = lambda;
    }
    // v holds the last w after the final swap.
    return {std::move(v), lambda};
}

std::optional<ProjectionError> check_rows(const Corpus& embeddings) {
    if (embeddings.empty()) return ProjectionError::no_embeddings();
    const std::size_t dim = embeddings[0].size();
    if (dim < 3) return ProjectionError::dimension_too_low(dim, 3);
    const std::size_t ragged = embeddings.first_ragged_row();
    if (ragged < embeddings.size()) {
        return ProjectionError::inconsistent_dimension(ragged, dim, embeddings[ragged].size());
    }
    return std::nullopt;
}

std::vector<double> normalized_rows(const Corpus& embeddings, std::size_t dim) {
    std::vector<double> rows(embeddings.size() * dim);
    for (std::size_t i = 0; i < embeddings.size(); ++i) {
        normalize_into(embeddings[i], std::span<double>(rows).subspan(i * dim, dim));
    }
    return rows;
}

// Element of rank floor(count / 2); the total order keeps the selection well
// defined even if a NaN slipped in.
double upper_median(std::vector<double>& values) {
    const auto mid = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), mid, values.end(), core::total_order_less);
    return *mid;
}

}  // namespace

std::pair<std::size_t, std::size_t> bandwidth_sample_pair(std::uint64_t& state, std::size_t n) {
    if (n < 2) core::stop("a bandwidth sample needs at least two rows");
    const std::size_t i = splitmix64(state + kGoldenGamma) % n;
    state += 2 * kGoldenGamma;
    std::size_t j = splitmix64(state) % n;
    if (j == i) j = (j + 1 == n) ? 0 : j + 1;
    return {i, j};
}

double automatic_bandwidth(std::span<const double> rows, std::size_t n, std::size_t dim) {
    core::check_equal(rows.size(), n * dim, "bandwidth rows must hold n * dim values");
    if (n < 2) return 1.0;
    std::vector<double> distances;
    if (n <= kExhaustivePairsUpTo) {
        distances.reserve(n * (n - 1) / 2);
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = i + 1; j < n; ++j) {
                distances.push_back(std::sqrt(squared_distance(row_ptr(rows, i, dim), row_ptr(rows, j, dim), dim)));
            }
        }
    } else {
        distances.reserve(kSampledPairs);
        std::uint64_t state = kBandwidthSeed;
        for (std::size_t s = 0; s < kSampledPairs; ++s) {
            const auto [i, j] = bandwidth_sample_pair(state, n);
            distances.push_back(std::sqrt(squared_distance(row_ptr(rows, i, dim), row_ptr(rows, j, dim), dim)));
        }
    }
    return std::fmax(upper_median(distances) * kInvSqrt2, kMinBandwidth);
}

KernelPcaProjection::FitResult KernelPcaProjection::fit(const Corpus& embeddings, RadialStrategy radial) {
    return fit_impl(embeddings, std::nullopt, std::move(radial));
}

KernelPcaProjection::FitResult KernelPcaProjection::fit_with_sigma(const Corpus& embeddings, RadialStrategy radial,
                                                                   double sigma) {
    return fit_impl(embeddings, sigma, std::move(radial));
}

KernelPcaProjection::FitResult KernelPcaProjection::fit_impl(const Corpus& embeddings, std::optional<double> sigma,
                                                             RadialStrategy radial) {
    // A NaN or infinite bandwidth has no meaningful kernel; reject it with the
    // non-positive ones, before the rows are looked at.
    if (sigma && !(std::isfinite(*sigma) && *sigma > 0.0)) {
        return core::Unexpected{ProjectionError::non_positive_bandwidth(*sigma)};
    }
    if (auto error = check_rows(embeddings)) return core::Unexpected{*error};

    const std::size_t n = embeddings.size();
    KernelPcaProjection p;
    p.dim_ = embeddings[0].size();
    p.radial_ = std::move(radial);
    p.training_ = normalized_rows(embeddings, p.dim_);
    p.sigma_ = sigma ? *sigma : automatic_bandwidth(p.training_, n, p.dim_);
    p.gamma_ = 0.5 / (p.sigma_ * p.sigma_);

    std::vector<double> k = build_kernel(p.training_, n, p.dim_, p.gamma_);
    KernelMeans means = kernel_means(k, n);
    center_kernel(k, n, means);
    p.row_means_ = std::move(means.rows);
    p.grand_mean_ = means.grand;

    double diagonal = 0.0;
    for (std::size_t i = 0; i < n; ++i) diagonal += k[i * n + i];
    p.trace_ = diagonal / static_cast<double>(n);

    std::vector<Eigenpair> found;
    found.reserve(3);
    std::uint64_t state = kEigenSeed;
    for (int c = 0; c < 3; ++c) found.push_back(power_iterate(k, n, state, found));

    p.alphas_.assign(3 * n, 0.0);
    for (std::size_t c = 0; c < 3; ++c) {
        p.eigenvalues_[c] = found[c].value;
        if (!(found[c].value > core::kEps)) continue;
        const double scale = 1.0 / std::sqrt(found[c].value);
        for (std::size_t i = 0; i < n; ++i) p.alphas_[c * n + i] = found[c].vector[i] * scale;
    }
    return p;
}

std::span<const double> KernelPcaProjection::alphas(std::size_t k) const {
    core::check_index(k, 3);
    return std::span<const double>(alphas_).subspan(k * row_means_.size(), row_means_.size());
}

KernelImage KernelPcaProjection::kernel_project(std::span<const double> normalized) const {
    check_dimension(dim_, normalized.size());
    const std::size_t n = row_means_.size();
    std::vector<double> c(n);
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        c[i] = rbf(gamma_, squared_distance(normalized.data(), training_.data() + i * dim_, dim_));
        sum += c[i];
    }
    const double mean = sum / static_cast<double>(n);
    for (std::size_t i = 0; i < n; ++i) c[i] = c[i] - mean - row_means_[i] + grand_mean_;
    return {dot(alphas(0), c), dot(alphas(1), c), dot(alphas(2), c), std::fmax(1.0 - 2.0 * mean + grand_mean_, 0.0)};
}

core::SphericalPoint KernelPcaProjection::project(std::span<const double> embedding) const {
    return project_rich(embedding).position;
}

ProjectedPoint KernelPcaProjection::project_rich(std::span<const double> embedding) const {
    check_dimension(dim_, embedding.size());
    std::vector<double> unit(dim_);
    normalize_into(embedding, unit);
    const KernelImage image = kernel_project(unit);
    const double norm = magnitude(embedding);
    const double q = image.x * image.x + image.y * image.y + image.z * image.z;

    ProjectedPoint out;
    out.position = volumetric_ ? place_volumetric(image.x, image.y, image.z)
                              : place_on_sphere(radial_.radius(norm), image.x, image.y, image.z);
    out.certainty = image.s > core::kEps ? std::fmin(q / image.s, 1.0) : 0.0;
    out.intensity = norm;
    out.projection_magnitude = core::l2_norm(image.x, image.y, image.z);
    return out;
}

double KernelPcaProjection::explained_variance_ratio() const noexcept {
    if (trace_ < core::kEps) return 1.0;
    const double held = eigenvalues_[0] + eigenvalues_[1] + eigenvalues_[2];
    return core::clamp_unit(held / (trace_ * static_cast<double>(num_training_points())));
}

}  // namespace vantorel::embed
