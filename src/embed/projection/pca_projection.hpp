#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <vector>

#include "core/expected.hpp"
#include "core/types.hpp"
#include "embed/embedding.hpp"
#include "embed/projection/projection.hpp"

namespace vantorel::embed {

// Coordinates of an embedding along the three principal components, and the
// squared length of its centred form that they leave out.
struct PcaCoordinates {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    double residual = 0.0;
};

// Linear projection onto the three leading principal directions of the
// normalised training rows, found by deflated power iteration.
class PcaProjection {
public:
    static constexpr std::size_t kComponents = 3;

    // Fails on an empty corpus, a first row shorter than 3, or a row whose
    // length differs from the first; the checks run in that order.
    static core::Expected<PcaProjection, ProjectionError> fit(const Corpus& corpus, RadialStrategy radial);

    [[nodiscard]] core::SphericalPoint project(std::span<const double> embedding) const;
    [[nodiscard]] ProjectedPoint project_rich(std::span<const double> embedding) const;
    [[nodiscard]] PcaCoordinates project_xyz_residual(std::span<const double> values) const;
    // Share of the training variance kept by the three components, in [0, 1];
    // 1.0 when the training rows have no variance.
    [[nodiscard]] double explained_variance_ratio() const noexcept;

    [[nodiscard]] std::size_t dimension() const noexcept { return dim_; }
    // Volumetric points take their radius from the 3-D image, not the radial rule.
    [[nodiscard]] bool volumetric() const noexcept { return volumetric_; }
    void set_volumetric(bool on) noexcept { volumetric_ = on; }

    [[nodiscard]] const RadialStrategy& radial() const noexcept { return radial_; }
    // Unit direction k (0, 1 or 2) in the order found.
    [[nodiscard]] std::span<const double> component(std::size_t k) const;
    [[nodiscard]] std::span<const double> mean() const noexcept { return mean_; }
    [[nodiscard]] const std::array<double, kComponents>& eigenvalues() const noexcept { return eigenvalues_; }
    [[nodiscard]] double total_variance() const noexcept { return total_variance_; }

private:
    struct Image {
        PcaCoordinates coords;
        double centred_sq = 0.0;  // squared length of the centred embedding
        double norm = 0.0;        // length of the raw embedding
    };

    PcaProjection(RadialStrategy radial, std::vector<double> components, std::vector<double> mean,
                  std::array<double, kComponents> eigenvalues, double total_variance);

    [[nodiscard]] Image image(std::span<const double> values) const;
    [[nodiscard]] core::SphericalPoint place(const Image& img) const;

    RadialStrategy radial_;
    std::vector<double> components_;  // kComponents rows of dim_ values, row-major
    std::vector<double> mean_;
    std::size_t dim_;
    std::array<double, kComponents> eigenvalues_;
    double total_variance_;
    bool volumetric_ = false;
};

static_assert(Projection<PcaProjection>);

}  // namespace vantorel::embed
