#include "embed/search/slicing_manifold.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "core/invariant.hpp"
#include "core/norm.hpp"
#include "core/numeric.hpp"

namespace vantorel::embed {
namespace {

using core::CartesianPoint;

using Matrix3 = std::array<std::array<double, 3>, 3>;

constexpr int kMaxRotations = 50;
constexpr double kOffDiagonalTolerance = 1e-15;
// Below this the two diagonal entries count as equal and the rotation angle is π/4.
constexpr double kEqualDiagonal = 1e-30;

constexpr Matrix3 kIdentity = {{{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}}};

Matrix3 multiply(const Matrix3& a, const Matrix3& b) noexcept {
    Matrix3 out{};
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = 0; j < 3; ++j) out[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
    }
    return out;
}

Matrix3 transpose(const Matrix3& a) noexcept {
    Matrix3 out{};
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = 0; j < 3; ++j) out[i][j] = a[j][i];
    }
    return out;
}

CartesianPoint mean_of(std::span<const CartesianPoint> points) noexcept {
    CartesianPoint sum{};
    for (const CartesianPoint& p : points) {
        sum.x += p.x;
        sum.y += p.y;
        sum.z += p.z;
    }
    const double n = static_cast<double>(points.size());
    return {sum.x / n, sum.y / n, sum.z / n};
}

// Population covariance: divided by n.
Matrix3 covariance(std::span<const CartesianPoint> points, const CartesianPoint& centroid) noexcept {
    Matrix3 c{};
    for (const CartesianPoint& p : points) {
        const std::array<double, 3> d = {p.x - centroid.x, p.y - centroid.y, p.z - centroid.z};
        for (std::size_t i = 0; i < 3; ++i) {
            for (std::size_t j = 0; j < 3; ++j) c[i][j] += d[i] * d[j];
        }
    }
    const double n = static_cast<double>(points.size());
    for (auto& row : c) {
        for (double& v : row) v /= n;
    }
    return c;
}

struct EigenSystem {
    std::array<double, 3> values;
    Matrix3 vectors;  // eigenvector i is column i
};

// Cyclic-by-largest Jacobi: each rotation zeroes the largest off-diagonal entry.
EigenSystem jacobi(Matrix3 a) {
    Matrix3 v = kIdentity;
    for (int rotation = 0; rotation < kMaxRotations; ++rotation) {
        std::size_t p = 0;
        std::size_t q = 1;
        double largest = std::fabs(a[0][1]);
        for (const auto& [i, j] : {std::pair<std::size_t, std::size_t>{0, 2}, {1, 2}}) {
            if (std::fabs(a[i][j]) > largest) {
                largest = std::fabs(a[i][j]);
                p = i;
                q = j;
            }
        }
        if (largest < kOffDiagonalTolerance) break;
        const double spread = a[q][q] - a[p][p];
        const double theta = std::fabs(spread) < kEqualDiagonal ? core::kPi / 4.0 : 0.5 * std::atan(2.0 * a[p][q] / spread);
        const double c = std::cos(theta);
        const double s = std::sin(theta);
        Matrix3 j = kIdentity;
        j[p][p] = c;
        j[q][q] = c;
        j[p][q] = s;
        j[q][p] = -s;
        a = multiply(transpose(j), multiply(a, j));
        v = multiply(v, j);
    }
    return {{a[0][0], a[1][1], a[2][2]}, v};
}

}  // namespace

SlicingManifold SlicingManifold::fit(std::span<const CartesianPoint> points) {
    if (points.size() < 3) core::stop("need at least 3 points to fit a plane");
    const CartesianPoint centroid = mean_of(points);
    const EigenSystem eigen = jacobi(covariance(points, centroid));
    const auto& e = eigen.values;

    std::size_t smallest = 0;
    for (std::size_t i = 1; i < 3; ++i) {
        if (e[i] < e[smallest]) smallest = i;
    }
    const std::size_t other_a = smallest == 0 ? 1 : 0;
    const std::size_t other_b = smallest == 2 ? 1 : 2;
    const double in_plane = e[other_a] + e[other_b];
    const double total = e[0] + e[1] + e[2];

    SlicingManifold m;
    m.centroid = centroid;
    m.normal = {eigen.vectors[0][smallest], eigen.vectors[1][smallest], eigen.vectors[2][smallest]};
    m.variance_ratio = total > 0.0 ? in_plane / total : 1.0;
    return m;
}

SlicingManifold SlicingManifold::fit_local(const CartesianPoint& center, std::span<const CartesianPoint> points,
                                           std::size_t k) {
    // (total-order key of the distance, point index): distinct keys, so a
    // partial sort gives what a stable sort by distance would.
    std::vector<std::pair<std::int64_t, std::size_t>> ranked;
    ranked.reserve(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double dx = center.x - points[i].x;
        const double dy = center.y - points[i].y;
        const double dz = center.z - points[i].z;
        ranked.emplace_back(core::total_order_key(core::l2_norm(dx, dy, dz)), i);
    }
    const std::size_t take = std::min(std::max<std::size_t>(k, 3), points.size());
    std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(take), ranked.end());

    std::vector<CartesianPoint> nearest;
    nearest.reserve(take);
    for (std::size_t i = 0; i < take; ++i) nearest.push_back(points[ranked[i].second]);
    return fit(nearest);
}

}  // namespace vantorel::embed
