#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/types.hpp"
#include "embed/category/category_layer.hpp"

namespace vantorel::embed {

// Neighbouring categories gathered for coarse query routing.
struct DomainGroup {
    std::vector<std::size_t> member_categories;  // merge order, lowest index first
    std::vector<std::string> category_names;     // same order
    std::size_t total_items = 0;
    core::SphericalPoint centroid;  // mean direction of the member centroids
    double angular_spread = 0.0;    // mean angle of the member centroids from `centroid`
    double cohesion = 1.0;          // 1 / (1 + angular_spread)
};

namespace domain_groups {

// At most max(num_groups, 1) groups by average-linkage clustering over an
// affinity of Voronoi adjacency and cap overlap; groups ascend by their
// lowest category index.
std::vector<DomainGroup> detect_domain_groups(const CategoryLayer& layer, std::uint64_t num_groups);

// The group of the given categories (non-empty, valid indices of the layer).
DomainGroup build_group(const CategoryLayer& layer, std::span<const std::size_t> members);

}  // namespace domain_groups
}  // namespace vantorel::embed
