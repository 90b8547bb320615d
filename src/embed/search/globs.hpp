#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/expected.hpp"
#include "core/types.hpp"

namespace vantorel::embed {

// A cluster of points on the sphere.
struct ConceptGlob {
    std::size_t id = 0;                   // the cluster number
    std::vector<std::string> member_ids;  // in ascending point order
    core::CartesianPoint centroid{};                    // unit vector, or zero when the members cancel
    double radius = 0.0;                  // largest member angle from the centroid, radians
};

struct GlobError {
    enum class Kind { MaxKTooSmall };

    Kind kind = Kind::MaxKTooSmall;
    std::size_t max_k = 0;

    [[nodiscard]] std::string message() const;
};

struct KMeansResult {
    std::vector<std::size_t> assignment;  // cluster number per point
    double score = 0.0;                   // mean silhouette by angle; 0 below two clusters
};

struct GlobResult {
    std::vector<ConceptGlob> globs;  // ascending id; empty clusters leave gaps

    // Clusters the points by direction, with k clamped to [2, min(points, max_k)]
    // or, without k, the count in that range with the best silhouette. Fails
    // when k is given and max_k is below 2. Fewer than 2 points or a different
    // number of ids are broken invariants.
    static core::Expected<GlobResult, GlobError> detect(std::span<const core::CartesianPoint> points,
                                                        std::span<const std::string> ids, std::optional<std::size_t> k,
                                                        std::size_t max_k);
};

// Spherical k-means by angle, seeded with the points ⌊i·n/k⌋, at most 50
// rounds. k must lie in [1, number of points].
KMeansResult kmeans_3d(std::span<const core::CartesianPoint> points, std::size_t k);

// One glob per cluster below k that has members, in cluster order.
std::vector<ConceptGlob> build_globs(std::span<const core::CartesianPoint> points, std::span<const std::string> ids,
                                     std::span<const std::size_t> assignment, std::size_t k);

}  // namespace vantorel::embed
