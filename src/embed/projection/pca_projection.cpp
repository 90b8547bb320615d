#include "embed/projection/pca_projection.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "core/interrupt.hpp"
#include "core/invariant.hpp"
#include "core/norm.hpp"
#include "core/numeric.hpp"
#include "core/parallel.hpp"

namespace vantorel::embed {
namespace {

constexpr std::uint64_t kFitSeed = 0xdeadbeef;
constexpr int kMaxIterations = 200;
constexpr double kConvergence = 1e-10;

// Rows per parallel block. Fixed, so the order in which the per-row terms are
// summed never depends on the number of threads.
constexpr std::size_t kBlockRows = 256;
// Columns per parallel piece of the mean.
constexpr std::size_t kMeanColumns = 16;

std::optional<ProjectionError> check_corpus(const Corpus& corpus) {
    if (corpus.empty()) return ProjectionError::no_embeddings();
    const std::size_t dim = corpus[0].size();
    if (dim < PcaProjection::kComponents) return ProjectionError::dimension_too_low(dim, PcaProjection::kComponents);
    const std::size_t ragged = corpus.first_ragged_row();
    if (ragged < corpus.size()) return ProjectionError::inconsistent_dimension(ragged, dim, corpus[ragged].size());
    return std::nullopt;
}

// The normalised training rows minus their mean, row-major.
struct CentredRows {
    // Left uninitialised until the parallel normalisation writes it, so the
    // pages are first touched by many threads instead of one.
    std::unique_ptr<double[]> values;
    std::vector<double> mean;
    double total_variance = 0.0;  // mean squared length of the centred rows
};

CentredRows centre_rows(const Corpus& corpus, std::size_t dim) {
    const std::size_t n = corpus.size();
    CentredRows out{std::make_unique_for_overwrite<double[]>(n * dim), std::vector<double>(dim, 0.0)};
    double* rows = out.values.get();
    core::for_each_block(n, kBlockRows, [&](std::size_t, std::size_t lo, std::size_t hi) {
        for (std::size_t j = lo; j < hi; ++j) normalize_into(corpus[j], {rows + j * dim, dim});
    });
    // Each column is summed over the rows in row order, as a sequential pass would.
    core::for_each_block(dim, kMeanColumns, [&](std::size_t, std::size_t lo, std::size_t hi) {
        for (std::size_t j = 0; j < n; ++j) {
            for (std::size_t i = lo; i < hi; ++i) out.mean[i] += rows[j * dim + i];
        }
    });
    const auto count = static_cast<double>(n);
    for (double& m : out.mean) m /= count;

    std::vector<double> row_sq(n);
    core::for_each_block(n, kBlockRows, [&](std::size_t, std::size_t lo, std::size_t hi) {
        for (std::size_t j = lo; j < hi; ++j) {
            double* row = rows + j * dim;
            double sq = 0.0;
            for (std::size_t i = 0; i < dim; ++i) {
                row[i] -= out.mean[i];
                sq += row[i] * row[i];
            }
            row_sq[j] = sq;
        }
    });
    double sum_sq = 0.0;
    for (const double sq : row_sq) sum_sq += sq;
    out.total_variance = sum_sq / count;
    return out;
}

// Rows swept together: their dot products are independent, so the sweep keeps
// several additions in flight while each dot is still summed in index order.
constexpr std::size_t kRowGroup = 8;

// w += sum over `count` rows of (row . v) row, rows in order.
template <std::size_t Group>
void accumulate_group(const double* rows, std::size_t dim, const double* v, double* w) {
    std::array<double, Group> s{};
    for (std::size_t i = 0; i < dim; ++i) {
        for (std::size_t g = 0; g < Group; ++g) s[g] += rows[g * dim + i] * v[i];
    }
    for (std::size_t i = 0; i < dim; ++i) {
        double acc = w[i];
        for (std::size_t g = 0; g < Group; ++g) acc += s[g] * rows[g * dim + i];
        w[i] = acc;
    }
}

void accumulate_rows(const double* rows, std::size_t count, std::size_t dim, const double* v, double* w) {
    std::size_t j = 0;
    for (; j + kRowGroup <= count; j += kRowGroup) accumulate_group<kRowGroup>(rows + j * dim, dim, v, w);
    for (; j < count; ++j) accumulate_group<1>(rows + j * dim, dim, v, w);
}

// w = C^T C v for the centred rows C, one pass over the rows per product,
// never forming the dim x dim covariance.
class CovarianceProduct {
public:
    CovarianceProduct(const double* rows, std::size_t n, std::size_t dim)
        : rows_(rows),
          n_(n),
          dim_(dim),
          blocks_((n + kBlockRows - 1) / kBlockRows),
          partials_(blocks_ > 1 ? blocks_ * dim : 0) {}

    // A corpus of one block is summed straight into w, so small fits give the
    // plain sequential sums.
    void apply(std::span<const double> v, std::span<double> w) {
        core::check_equal(v.size(), dim_, "covariance product input length");
        core::check_equal(w.size(), dim_, "covariance product output length");
        if (blocks_ == 1) {
            std::fill(w.begin(), w.end(), 0.0);
            accumulate_rows(rows_, n_, dim_, v.data(), w.data());
            return;
        }
        core::for_each_block(n_, kBlockRows, [&](std::size_t b, std::size_t lo, std::size_t hi) {
            double* partial = partials_.data() + b * dim_;
            std::fill_n(partial, dim_, 0.0);
            accumulate_rows(rows_ + lo * dim_, hi - lo, dim_, v.data(), partial);
        });
        std::copy_n(partials_.begin(), dim_, w.begin());
        for (std::size_t b = 1; b < blocks_; ++b) {
            const double* p = partials_.data() + b * dim_;
            for (std::size_t i = 0; i < dim_; ++i) w[i] += p[i];
        }
    }

private:
    const double* rows_;
    std::size_t n_;
    std::size_t dim_;
    std::size_t blocks_;
    std::vector<double> partials_;  // one partial sum per block, combined in block order
};

void scale(std::span<double> x, double divisor) {
    for (double& value : x) value /= divisor;
}

// w -= (w . u) u for each component found so far, in order.
void deflate(std::span<double> w, const std::vector<double>& found, std::size_t count, std::size_t dim) {
    for (std::size_t k = 0; k < count; ++k) {
        const std::span<const double> u(found.data() + k * dim, dim);
        const double d = dot(w, u);
        for (std::size_t i = 0; i < dim; ++i) w[i] -= d * u[i];
    }
}

// Power iteration for component `k`: its direction lands in row k of `found`.
// `v` and `w` are scratch vectors of length dim; the state is shared across
// components so each starts from the next Gaussian draw.
double find_component(CovarianceProduct& product, std::vector<double>& found, std::size_t k, std::size_t n,
                      std::uint64_t& state, std::vector<double>& v, std::vector<double>& w) {
    const std::size_t dim = v.size();
    v = gaussian_vector(state, dim);
    const double start_norm = magnitude(v);
    if (start_norm > core::kEps) scale(v, start_norm);

    const auto count = static_cast<double>(n);
    double lambda_prev = 0.0;
    bool converged = false;
    for (int iter = 0; iter < kMaxIterations && !converged; ++iter) {
        core::check_interrupt();
        product.apply(v, w);
        deflate(w, found, k, dim);
        const double m = magnitude(w);
        if (m > core::kEps) scale(w, m);
        // No variance left outside the components already found: v stays, with the last eigenvalue.
        if (m < core::kEps) break;
        const double lambda = m / count;
        converged = std::fmax(1.0 - std::fabs(dot(w, v)), 0.0) < kConvergence;
        std::swap(v, w);
        lambda_prev = lambda;
    }
    std::copy(v.begin(), v.end(), found.begin() + static_cast<std::ptrdiff_t>(k * dim));
    return lambda_prev;
}

}  // namespace

PcaProjection::PcaProjection(RadialStrategy radial, std::vector<double> components, std::vector<double> mean,
                             std::array<double, kComponents> eigenvalues, double total_variance)
    : radial_(std::move(radial)),
      components_(std::move(components)),
      mean_(std::move(mean)),
      dim_(mean_.size()),
      eigenvalues_(eigenvalues),
      total_variance_(total_variance) {}

core::Expected<PcaProjection, ProjectionError> PcaProjection::fit(const Corpus& corpus, RadialStrategy radial) {
    if (auto error = check_corpus(corpus)) return core::Unexpected{*error};
    const std::size_t n = corpus.size();
    const std::size_t dim = corpus[0].size();

    CentredRows centred = centre_rows(corpus, dim);
    CovarianceProduct product(centred.values.get(), n, dim);
    std::vector<double> components(kComponents * dim);
    std::array<double, kComponents> eigenvalues{};
    std::vector<double> v(dim);
    std::vector<double> w(dim);
    std::uint64_t state = kFitSeed;
    for (std::size_t k = 0; k < kComponents; ++k) {
        eigenvalues[k] = find_component(product, components, k, n, state, v, w);
    }
    return PcaProjection(std::move(radial), std::move(components), std::move(centred.mean), eigenvalues,
                         centred.total_variance);
}

std::span<const double> PcaProjection::component(std::size_t k) const {
    core::check_index(k, kComponents);
    return {components_.data() + k * dim_, dim_};
}

PcaProjection::Image PcaProjection::image(std::span<const double> values) const {
    check_dimension(dim_, values.size());
    Image img;
    const core::Norm norm = core::norm_of(values);
    img.norm = norm.value();
    // A near-zero embedding counts as the zero vector here, centred to -mean.
    // In the plain case the factor is 1, so this is 1 / |values|.
    const double scale_by = img.norm < core::kEps ? 0.0 : norm.factor / norm.length;
    const double* u0 = components_.data();
    const double* u1 = u0 + dim_;
    const double* u2 = u1 + dim_;
    double x = 0.0, y = 0.0, z = 0.0, q = 0.0;
    for (std::size_t i = 0; i < dim_; ++i) {
        const double c = values[i] * scale_by - mean_[i];
        x += u0[i] * c;
        y += u1[i] * c;
        z += u2[i] * c;
        q += c * c;
    }
    img.coords = {x, y, z, std::fmax(q - (x * x + y * y + z * z), 0.0)};
    img.centred_sq = q;
    return img;
}

core::SphericalPoint PcaProjection::place(const Image& img) const {
    const PcaCoordinates& c = img.coords;
    if (volumetric_) return place_volumetric(c.x, c.y, c.z);
    return place_on_sphere(radial_.radius(img.norm), c.x, c.y, c.z);
}

PcaCoordinates PcaProjection::project_xyz_residual(std::span<const double> values) const {
    return image(values).coords;
}

core::SphericalPoint PcaProjection::project(std::span<const double> embedding) const {
    return place(image(embedding));
}

ProjectedPoint PcaProjection::project_rich(std::span<const double> embedding) const {
    const Image img = image(embedding);
    const PcaCoordinates& c = img.coords;
    const double certainty = img.centred_sq >= core::kEps ? core::clamp_unit(1.0 - c.residual / img.centred_sq) : 0.0;
    return {place(img), certainty, img.norm, core::l2_norm(c.x, c.y, c.z)};
}

double PcaProjection::explained_variance_ratio() const noexcept {
    if (total_variance_ < core::kEps) return 1.0;
    return core::clamp_unit((eigenvalues_[0] + eigenvalues_[1] + eigenvalues_[2]) / total_variance_);
}

}  // namespace vantorel::embed
