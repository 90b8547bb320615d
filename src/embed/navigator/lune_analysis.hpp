#pragma once

#include <span>
#include <vector>

#include "core/types.hpp"
#include "embed/category/category_layer.hpp"
#include "embed/navigator/navigator_report.hpp"

namespace vantorel::embed::navigator {

// For every pair of categories with bridge items (i < j, in index order):
// how the items bridging them in either direction split across the bisector
// of the two centroids. `positions` holds every item's position.
std::vector<LuneReport> lune_analysis(const CategoryLayer& layer, std::span<const core::SphericalPoint> positions);

}  // namespace vantorel::embed::navigator
