#pragma once

#include <span>
#include <string>

#include "core/types.hpp"
#include "embed/category/category_layer.hpp"
#include "embed/navigator/navigator_config.hpp"
#include "embed/navigator/navigator_report.hpp"

namespace vantorel::embed::navigator {

// The whole navigator report of a layer: antipodes, coverage, Voronoi cells,
// cap overlaps, curvature and lunes. `positions` and `categories` describe
// every item, in item order; the ratio is passed through. Read-only and
// deterministic whatever the number of threads.
NavigatorReport run_full_analysis(const CategoryLayer& layer, std::span<const core::SphericalPoint> positions,
                                  std::span<const std::string> categories, const NavigatorConfig& config,
                                  double explained_variance_ratio);

}  // namespace vantorel::embed::navigator
