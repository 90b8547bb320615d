#pragma once

#include <vector>

#include "core/types.hpp"
#include "embed/category/category_layer.hpp"

namespace vantorel::embed::navigator {

// The caps of a layer's categories as the region functions take them: the
// centroids and the angular spreads, entry i of each forming category i's cap.
struct CategoryCaps {
    std::vector<core::SphericalPoint> centres;
    std::vector<double> half_angles;
};

CategoryCaps category_caps(const CategoryLayer& layer);

// 2π(1 − cos h).
double cap_area(double half_angle) noexcept;

}  // namespace vantorel::embed::navigator
