#pragma once

#include <cstdint>

#include "embed/category/category_layer.hpp"
#include "embed/navigator/navigator_report.hpp"

namespace vantorel::embed::navigator {

// The `curvature_top_n` category triples whose centroid triangles have the
// largest spherical excess (ties in triple order), and every category's
// excess signature.
CurvatureReport curvature_analysis(const CategoryLayer& layer, std::uint64_t curvature_top_n);

}  // namespace vantorel::embed::navigator
