#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "core/expected.hpp"
#include "core/types.hpp"
#include "embed/embedding.hpp"
#include "embed/projection/projection.hpp"

namespace vantorel::embed {

// The 3-D image of a normalised embedding under a kernel PCA, plus its squared
// feature-space distance to the centroid of the training embeddings.
struct KernelImage {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    double s = 0.0;
};

// Principal components in the feature space of an RBF kernel over the
// normalised training embeddings. The whole training set is kept: projecting
// evaluates the kernel against every training row.
class KernelPcaProjection {
public:
    using FitResult = core::Expected<KernelPcaProjection, ProjectionError>;

    // Bandwidth chosen from the median pairwise distance.
    static FitResult fit(const Corpus& embeddings, RadialStrategy radial);
    static FitResult fit_with_sigma(const Corpus& embeddings, RadialStrategy radial, double sigma);
    // Common body of both fits; an absent sigma means the automatic bandwidth.
    static FitResult fit_impl(const Corpus& embeddings, std::optional<double> sigma, RadialStrategy radial);

    // `normalized` must already have unit length (as `normalize_into` makes it).
    [[nodiscard]] KernelImage kernel_project(std::span<const double> normalized) const;
    [[nodiscard]] core::SphericalPoint project(std::span<const double> embedding) const;
    [[nodiscard]] ProjectedPoint project_rich(std::span<const double> embedding) const;
    // Share of the centred kernel's trace held by the three eigenvalues.
    [[nodiscard]] double explained_variance_ratio() const noexcept;

    [[nodiscard]] std::size_t dimension() const noexcept { return dim_; }
    [[nodiscard]] double sigma() const noexcept { return sigma_; }
    [[nodiscard]] double gamma() const noexcept { return gamma_; }
    [[nodiscard]] std::size_t num_training_points() const noexcept { return row_means_.size(); }
    [[nodiscard]] const std::array<double, 3>& eigenvalues() const noexcept { return eigenvalues_; }
    [[nodiscard]] std::span<const double> alphas(std::size_t k) const;
    [[nodiscard]] std::span<const double> row_means() const noexcept { return row_means_; }
    [[nodiscard]] double grand_mean() const noexcept { return grand_mean_; }
    // Trace of the centred kernel matrix divided by the number of training rows.
    [[nodiscard]] double trace() const noexcept { return trace_; }
    [[nodiscard]] const RadialStrategy& radial() const noexcept { return radial_; }

    // Off after a fit; a caller switches it on before use to place points at
    // the 3-D image itself instead of at the radial rule's radius.
    [[nodiscard]] bool volumetric() const noexcept { return volumetric_; }
    void set_volumetric(bool on) noexcept { volumetric_ = on; }

private:
    KernelPcaProjection() = default;

    RadialStrategy radial_;
    std::vector<double> training_;  // n rows of dim_ values, normalised
    std::vector<double> alphas_;    // 3 rows of n values
    std::vector<double> row_means_;
    double sigma_ = 1.0;
    double gamma_ = 0.5;
    std::array<double, 3> eigenvalues_{};
    double grand_mean_ = 0.0;
    double trace_ = 0.0;
    std::size_t dim_ = 0;
    bool volumetric_ = false;
};

// Bandwidth estimate over `n` normalised rows of `dim` values: the upper median
// of the pairwise distances (all pairs up to 100 rows, 5000 sampled pairs
// beyond) divided by √2, floored at 1e-8; 1.0 for fewer than two rows.
double automatic_bandwidth(std::span<const double> rows, std::size_t n, std::size_t dim);

// One pair (i, j), i != j, of the bandwidth sample over n >= 2 rows; advances `state`.
std::pair<std::size_t, std::size_t> bandwidth_sample_pair(std::uint64_t& state, std::size_t n);

}  // namespace vantorel::embed
