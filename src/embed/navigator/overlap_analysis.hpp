#pragma once

#include <cstdint>

#include "embed/category/category_layer.hpp"
#include "embed/navigator/navigator_report.hpp"

namespace vantorel::embed::navigator {

// Every overlapping pair of category caps with its bridge items, and each
// cap's exclusivity sampled with `exclusivity_samples` points.
OverlapReport overlap_analysis(const CategoryLayer& layer, std::uint64_t exclusivity_samples);

}  // namespace vantorel::embed::navigator
