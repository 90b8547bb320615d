#include "embed/viz/view_points.hpp"

#include <cmath>

#include "core/conversions.hpp"
#include "core/format.hpp"
#include "core/interrupt.hpp"
#include "embed/projection/pca_projection.hpp"

namespace vantorel::embed::viz {
namespace {

struct Message {
    std::string operator()(const ViewPointsError::FitFailed& e) const { return "PCA fit failed: " + e.error.message(); }
    std::string operator()(const ViewPointsError::NotFinite& e) const {
        return core::format(
            "point {} has a position that is not finite (its embedding's magnitude is beyond the float range)",
            e.point);
    }
};

core::Expected<ViewPoints, ViewPointsError> all_finite(ViewPoints points) {
    for (std::size_t i = 0; i < points.cartesian.size(); ++i) {
        const core::CartesianPoint& c = points.cartesian[i];
        const core::SphericalPoint& s = points.spherical[i];
        if (!(std::isfinite(c.x) && std::isfinite(c.y) && std::isfinite(c.z) && std::isfinite(s.r) &&
              std::isfinite(s.theta) && std::isfinite(s.phi))) {
            return core::Unexpected{ViewPointsError{ViewPointsError::NotFinite{i}}};
        }
    }
    return points;
}

}  // namespace

std::string ViewPointsError::message() const { return std::visit(Message{}, kind); }

core::Expected<ViewPoints, ViewPointsError> fit_view_points(const Corpus& embeddings) {
    auto fitted = PcaProjection::fit(embeddings, RadialStrategy::magnitude());
    if (!fitted) return core::Unexpected{ViewPointsError{ViewPointsError::FitFailed{fitted.error()}}};
    const PcaProjection& projection = fitted.value();
    ViewPoints points;
    points.explained_variance_ratio = projection.explained_variance_ratio();
    points.spherical.reserve(embeddings.size());
    points.cartesian.reserve(embeddings.size());
    core::InterruptTicker ticker;
    for (std::size_t i = 0; i < embeddings.size(); ++i) {
        ticker.tick();
        points.spherical.push_back(projection.project(embeddings[i]));
        // The projected radius is kept: points lie inside or outside the unit sphere as their radii say.
        points.cartesian.push_back(core::spherical_to_cartesian(points.spherical.back()));
    }
    return all_finite(std::move(points));
}

core::Expected<PipelineView, ViewPointsError> pipeline_view(const VantorelPipeline& pipeline) {
    const std::vector<ExportedPoint> exported = pipeline.exported_points();
    PipelineView view;
    view.ids.reserve(exported.size());
    view.categories.reserve(exported.size());
    ViewPoints points;
    points.explained_variance_ratio = pipeline.projection().explained_variance_ratio();
    points.cartesian.reserve(exported.size());
    points.spherical.reserve(exported.size());
    for (const ExportedPoint& p : exported) {
        view.ids.push_back(p.id);
        view.categories.push_back(p.category);
        points.cartesian.push_back({p.x, p.y, p.z});
        points.spherical.push_back(core::cartesian_to_spherical(points.cartesian.back()));
    }
    auto checked = all_finite(std::move(points));
    if (!checked) return core::Unexpected{std::move(checked).error()};
    view.points = std::move(checked).value();
    return view;
}

}  // namespace vantorel::embed::viz
