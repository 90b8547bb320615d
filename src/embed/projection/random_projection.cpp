#include "embed/projection/random_projection.hpp"

#include <utility>

#include "core/invariant.hpp"
#include "core/numeric.hpp"
#include "embed/embedding.hpp"

namespace vantorel::embed {

RandomProjection RandomProjection::make(std::size_t dim, RadialStrategy radial, std::uint64_t seed) {
    if (dim < kDirections) core::stop("embedding dimension must be >= 3");
    std::vector<double> directions;
    directions.reserve(core::saturating_mul(kDirections, dim));
    std::uint64_t state = seed;
    for (std::size_t k = 0; k < kDirections; ++k) {
        const std::vector<double> draw = gaussian_vector(state, dim);
        directions.insert(directions.end(), draw.begin(), draw.end());
    }
    return RandomProjection(std::move(radial), std::move(directions), dim);
}

std::span<const double> RandomProjection::direction(std::size_t k) const {
    core::check_index(k, kDirections);
    return {directions_.data() + k * dim_, dim_};
}

core::SphericalPoint RandomProjection::project_with_norm(std::span<const double> embedding, core::Norm norm) const {
    check_dimension(dim_, embedding.size());
    // The unit copy is formed element by element exactly as normalize_into
    // does, so the dots match normalising first without allocating a copy.
    const bool basis = norm.value() < core::kEps;
    const double* d0 = directions_.data();
    const double* d1 = d0 + dim_;
    const double* d2 = d1 + dim_;
    double x = 0.0, y = 0.0, z = 0.0;
    for (std::size_t i = 0; i < dim_; ++i) {
        const double unit = basis ? (i == 0 ? 1.0 : 0.0) : norm.unit(embedding[i]);
        x += unit * d0[i];
        y += unit * d1[i];
        z += unit * d2[i];
    }
    return place_on_sphere(radial_.radius(norm.value()), x, y, z);
}

core::SphericalPoint RandomProjection::project(std::span<const double> embedding) const {
    return project_with_norm(embedding, core::norm_of(embedding));
}

ProjectedPoint RandomProjection::project_rich(std::span<const double> embedding) const {
    const core::Norm norm = core::norm_of(embedding);
    return {project_with_norm(embedding, norm), 1.0, norm.value(), 1.0};
}

}  // namespace vantorel::embed
