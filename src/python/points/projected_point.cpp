#include "core/format.hpp"
#include "python/points/points.hpp"

namespace vantorel::python {
namespace {

using embed::ProjectedPoint;

Ref position(const ProjectedPoint& p) { return spherical_point_class().make(p.position); }
Ref certainty(const ProjectedPoint& p) { return to_py(p.certainty); }
Ref intensity(const ProjectedPoint& p) { return to_py(p.intensity); }
Ref projection_magnitude(const ProjectedPoint& p) { return to_py(p.projection_magnitude); }

std::string repr(const ProjectedPoint& p) {
    return core::format("ProjectedPoint(r={:.4}, theta={:.4}, phi={:.4}, certainty={:.4}, intensity={:.4})",
                        p.position.r, p.position.theta, p.position.phi, p.certainty, p.intensity);
}

}  // namespace

Class<ProjectedPoint>& projected_point_class() {
    static Class<ProjectedPoint> cls("ProjectedPoint");
    static Class<ProjectedPoint>& described = cls.getter<position>("position")
                                                  .getter<certainty>("certainty")
                                                  .getter<intensity>("intensity")
                                                  .getter<projection_magnitude>("projection_magnitude")
                                                  .repr<repr>();
    return described;
}

}  // namespace vantorel::python
