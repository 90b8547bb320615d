#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "core/expected.hpp"
#include "core/types.hpp"
#include "embed/embedding.hpp"
#include "embed/projection/projection.hpp"

namespace vantorel::embed {

// Coordinate index inside an active set; 32 bits keep the sets compact and the
// merges fast. A vector longer than 2^32 coordinates stops the operation.
using ActiveIndex = std::uint32_t;

// The "active" coordinates (|v_i| > threshold) of many vectors, each list
// ascending, all kept in one index block with row offsets.
class ActiveSets {
public:
    void append(std::span<const double> values, double threshold);

    [[nodiscard]] std::size_t size() const noexcept { return offsets_.size() - 1; }
    [[nodiscard]] std::span<const ActiveIndex> operator[](std::size_t i) const noexcept {
        return {indices_.data() + offsets_[i], offsets_[i + 1] - offsets_[i]};
    }

private:
    std::vector<ActiveIndex> indices_;
    std::vector<std::size_t> offsets_{0};
};

// Ascending active coordinates of one vector.
std::vector<ActiveIndex> active_set(std::span<const double> values, double threshold);

// |A ∩ B| / |A ∪ B| of two ascending index lists; 0 when both are empty.
double jaccard(std::span<const ActiveIndex> a, std::span<const ActiveIndex> b) noexcept;

// Places embeddings by three non-trivial eigenvectors of the degree-normalised
// adjacency of a Jaccard k-nearest-neighbour graph over their active sets.
class LaplacianEigenmapProjection {
public:
    // Rows may differ in length; the first row's length is the dimension.
    static core::Expected<LaplacianEigenmapProjection, ProjectionError> fit_with_params(
        const Corpus& embeddings, std::size_t k_neighbors, RadialStrategy radial, double active_threshold);

    // Out-of-sample extension over all training embeddings; any length is accepted.
    [[nodiscard]] std::array<double, 3> project_to_3d(std::span<const double> values) const;
    [[nodiscard]] core::SphericalPoint project(std::span<const double> embedding) const;
    [[nodiscard]] ProjectedPoint project_rich(std::span<const double> embedding) const;

    [[nodiscard]] std::size_t dimension() const noexcept { return dim_; }
    [[nodiscard]] const std::array<double, 3>& eigenvalues() const noexcept { return eigenvalues_; }
    [[nodiscard]] double connectivity_ratio() const noexcept { return connectivity_ratio_; }
    [[nodiscard]] const std::array<std::vector<double>, 3>& eigenvectors() const noexcept { return eigenvectors_; }
    [[nodiscard]] const std::vector<double>& degrees() const noexcept { return degrees_; }
    [[nodiscard]] double active_threshold() const noexcept { return active_threshold_; }

private:
    LaplacianEigenmapProjection(RadialStrategy radial, double active_threshold, std::size_t dim)
        : radial_(std::move(radial)), active_threshold_(active_threshold), dim_(dim) {}

    RadialStrategy radial_;
    ActiveSets active_sets_;
    std::vector<double> degrees_;
    std::array<std::vector<double>, 3> eigenvectors_;
    double active_threshold_;
    std::size_t dim_;
    std::array<double, 3> eigenvalues_{};
    double connectivity_ratio_ = 0.0;
};

static_assert(Projection<LaplacianEigenmapProjection>);

}  // namespace vantorel::embed
