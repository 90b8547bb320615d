#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/types.hpp"

namespace vantorel::embed {

// One category of a category layer, at the position of its category index.
struct CategorySummary {
    std::string name;
    std::vector<std::size_t> members;    // item indices, ascending
    std::vector<double> mean_embedding;  // component-wise mean of the members' raw embeddings
    core::SphericalPoint centroid;       // global projection of the mean embedding
    double angular_spread = 0.0;         // mean angle of the members from the centroid; the cap half-angle
    double cohesion = 1.0;               // 1 / (1 + angular_spread)
    std::size_t member_count = 0;
    double cap_area = 0.0;
    double exclusivity = 0.0;
    double cell_area = 0.0;               // 0 when the category has no Voronoi cell
    double territorial_efficiency = 0.0;  // member_count / cell_area, 0 for a vanishing cell
    double bridge_quality = 0.0;          // mean territorial-weighted bridge strength over the edges
};

}  // namespace vantorel::embed
