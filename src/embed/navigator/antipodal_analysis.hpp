#pragma once

#include <span>
#include <string>
#include <vector>

#include "core/types.hpp"
#include "embed/category/category_layer.hpp"
#include "embed/navigator/navigator_report.hpp"

namespace vantorel::embed::navigator {

// The point opposite `p` on its sphere: same radius, azimuth turned by π,
// polar angle mirrored.
core::SphericalPoint antipode_of(const core::SphericalPoint& p) noexcept;

// What lies within `antipodal_radius` of each category's antipode, one report
// per category in index order. `categories` names the category of every item
// of `positions`, in the same order.
std::vector<AntipodalReport> antipodal_analysis(const CategoryLayer& layer,
                                                std::span<const core::SphericalPoint> positions,
                                                std::span<const std::string> categories, double antipodal_radius);

}  // namespace vantorel::embed::navigator
