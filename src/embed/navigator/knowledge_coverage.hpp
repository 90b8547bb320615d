#pragma once

#include <cstdint>

#include "embed/category/category_layer.hpp"
#include "embed/navigator/navigator_report.hpp"

namespace vantorel::embed::navigator {

// How much of the sphere the category caps cover, sampled with
// `coverage_samples` points, and every category's cap.
KnowledgeCoverageReport knowledge_coverage(const CategoryLayer& layer, std::uint64_t coverage_samples);

}  // namespace vantorel::embed::navigator
