#include "embed/quality/labelled_positions.hpp"

#include "core/invariant.hpp"
#include "embed/pipeline/pipeline.hpp"

namespace vantorel::embed {

LabelledPositions labelled_positions(const VantorelPipeline& pipeline) {
    const CategoryLayer& layer = pipeline.category_layer();
    LabelledPositions out;
    out.categories = layer.summaries().size();
    const std::vector<ExportedPoint> points = pipeline.exported_points();
    out.positions.reserve(points.size());
    out.labels.reserve(points.size());
    for (const ExportedPoint& p : points) {
        out.positions.push_back({p.r, p.theta, p.phi});
        const auto found = layer.name_to_index().find(p.category);
        if (found == layer.name_to_index().end()) {
            out.labels.push_back(kNoCategory);
        } else {
            // An index past the summaries would mean an inconsistent layer.
            core::check_index(found->second, out.categories);
            out.labels.push_back(found->second);
        }
    }
    return out;
}

}  // namespace vantorel::embed
