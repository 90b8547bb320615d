#pragma once

#include <cstddef>
#include <span>

#include "core/types.hpp"

namespace vantorel::embed {

// A plane fitted by principal axes: how flat a cloud of points is, and across which direction.
struct SlicingManifold {
    core::CartesianPoint centroid{};         // mean of the points
    core::CartesianPoint normal{};           // unit eigenvector of the smallest covariance eigenvalue
    double variance_ratio = 0.0;  // share of the variance in the plane; 1 for a cloud without variance

    // Needs at least 3 points (a broken invariant otherwise).
    static SlicingManifold fit(std::span<const core::CartesianPoint> points);
    // Fits the max(k, 3) points nearest to center by Euclidean distance (all
    // of them when there are fewer); equal distances keep point order.
    static SlicingManifold fit_local(const core::CartesianPoint& center, std::span<const core::CartesianPoint> points,
                                     std::size_t k);
};

}  // namespace vantorel::embed
