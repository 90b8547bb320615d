#pragma once

#include <cstddef>
#include <string>
#include <variant>
#include <vector>

#include "core/expected.hpp"
#include "core/types.hpp"
#include "embed/embedding.hpp"
#include "embed/pipeline/pipeline.hpp"
#include "embed/projection/projection.hpp"

namespace vantorel::embed::viz {

// The positions a sphere page shows, in point order, and the explained-variance
// ratio of the projection that placed them.
struct ViewPoints {
    std::vector<core::SphericalPoint> spherical;
    std::vector<core::CartesianPoint> cartesian;
    double explained_variance_ratio = 0.0;
};

// The items of a built pipeline as a page shows them: ids as labels.
struct PipelineView {
    std::vector<std::string> ids;
    std::vector<std::string> categories;
    ViewPoints points;
};

// Why positions cannot be shown.
struct ViewPointsError {
    struct FitFailed {
        ProjectionError error;
    };
    // A position that is not finite (an embedding whose magnitude is beyond
    // the float range gets an infinite radius) would stop the page's script.
    struct NotFinite {
        std::size_t point;
    };

    std::variant<FitFailed, NotFinite> kind;

    [[nodiscard]] std::string message() const;
};

// Fits a PCA projection to the rows (radius from each row's magnitude, not
// volumetric) and projects every row with it.
core::Expected<ViewPoints, ViewPointsError> fit_view_points(const Corpus& embeddings);

// The pipeline's item positions as stored, with their spherical form.
core::Expected<PipelineView, ViewPointsError> pipeline_view(const VantorelPipeline& pipeline);

}  // namespace vantorel::embed::viz
