#pragma once

#include <cstdint>

#include "embed/category/category_layer.hpp"
#include "embed/navigator/navigator_report.hpp"

namespace vantorel::embed::navigator {

// The Voronoi cells of the category centroids, sampled with `voronoi_samples`
// points, each compared with its category's neighbours in the bridge graph.
VoronoiReport voronoi_analysis(const CategoryLayer& layer, std::uint64_t voronoi_samples);

}  // namespace vantorel::embed::navigator
