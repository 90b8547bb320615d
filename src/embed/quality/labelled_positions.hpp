#pragma once

#include <cstddef>
#include <limits>
#include <vector>

#include "core/types.hpp"

namespace vantorel::embed {

class VantorelPipeline;

// Label of a point whose category name the layer does not know.
inline constexpr std::size_t kNoCategory = std::numeric_limits<std::size_t>::max();

// The pipeline's exported points as the silhouette and modularity metrics
// read them: positions in export order, each with its category index.
struct LabelledPositions {
    std::vector<core::SphericalPoint> positions;
    std::vector<std::size_t> labels;  // below `categories`, or kNoCategory
    std::size_t categories = 0;       // of the category layer
};

LabelledPositions labelled_positions(const VantorelPipeline& pipeline);

}  // namespace vantorel::embed
