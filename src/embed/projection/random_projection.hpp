#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "core/norm.hpp"
#include "core/types.hpp"
#include "embed/projection/projection.hpp"

namespace vantorel::embed {

// Projection onto three fixed Gaussian directions drawn from a seed.
class RandomProjection {
public:
    static constexpr std::size_t kDirections = 3;

    // Draws the three directions from `seed` in order; dim < 3 is a broken invariant.
    static RandomProjection make(std::size_t dim, RadialStrategy radial, std::uint64_t seed);

    [[nodiscard]] core::SphericalPoint project(std::span<const double> embedding) const;
    // Certainty and projection magnitude are 1.0: the image length is not tracked.
    [[nodiscard]] ProjectedPoint project_rich(std::span<const double> embedding) const;

    [[nodiscard]] std::size_t dimension() const noexcept { return dim_; }
    [[nodiscard]] const RadialStrategy& radial() const noexcept { return radial_; }
    // Raw Gaussian draws for direction k (0, 1 or 2), not normalised.
    [[nodiscard]] std::span<const double> direction(std::size_t k) const;

private:
    RandomProjection(RadialStrategy radial, std::vector<double> directions, std::size_t dim)
        : radial_(std::move(radial)), directions_(std::move(directions)), dim_(dim) {}

    [[nodiscard]] core::SphericalPoint project_with_norm(std::span<const double> embedding, core::Norm norm) const;

    RadialStrategy radial_;
    std::vector<double> directions_;  // kDirections rows of dim_ values, row-major
    std::size_t dim_;
};

static_assert(Projection<RandomProjection>);

}  // namespace vantorel::embed
