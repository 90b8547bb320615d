#include "embed/quality/territorial_health.hpp"

#include "core/numeric.hpp"
#include "embed/pipeline/pipeline.hpp"

namespace vantorel::embed {

double territorial_health(std::size_t categories, const SpatialQuality& quality) noexcept {
    if (categories < 2) return 1.0;
    double sum = 0.0;
    for (std::size_t i = 0; i < categories; ++i) {
        for (std::size_t j = i + 1; j < categories; ++j) sum += quality.territorial_factor(i, j);
    }
    const std::size_t pairs = categories * (categories - 1) / 2;
    return core::clamp_unit(sum / static_cast<double>(pairs));
}

double TerritorialHealth::score(const VantorelPipeline& pipeline) const {
    const CategoryLayer& layer = pipeline.category_layer();
    return territorial_health(layer.summaries().size(), layer.spatial_quality());
}

}  // namespace vantorel::embed
