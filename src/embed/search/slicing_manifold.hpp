#pragma once

#include <cstddef>
#include <span>

#include "embed/point3.hpp"

namespace vantorel::embed {

// A plane fitted by principal axes: how flat a cloud of points is, and across which direction.
struct SlicingManifold {
    Point3 centroid{};         // mean of the points
    Point3 normal{};           // unit eigenvector of the smallest covariance eigenvalue
    double variance_ratio = 0.0;  // share of the variance in the plane; 1 for a cloud without variance

    // Needs at least 3 points (a broken invariant otherwise).
    static SlicingManifold fit(std::span<const Point3> points);
    // Fits the max(k, 3) points nearest to center by Euclidean distance (all
    // of them when there are fewer); equal distances keep point order.
    static SlicingManifold fit_local(const Point3& center, std::span<const Point3> points, std::size_t k);
};

}  // namespace vantorel::embed
