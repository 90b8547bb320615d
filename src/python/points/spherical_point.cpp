#include "core/conversions.hpp"
#include "core/format.hpp"
#include "python/points/points.hpp"

namespace vantorel::python {
namespace {

using core::SphericalPoint;

constexpr Param kFields[] = {{"r"}, {"theta"}, {"phi"}};
constexpr Params kNew{"SphericalPoint", "__new__", kFields};

SphericalPoint construct(const Args<kFields>& a) {
    const double r = a.f64<"r">();
    const double theta = a.f64<"theta">();
    const double phi = a.f64<"phi">();
    auto point = SphericalPoint::make(r, theta, phi);
    if (!point) raise_value_error(point.error().message());
    return *point;
}

Ref r(const SphericalPoint& p) { return to_py(p.r); }
Ref theta(const SphericalPoint& p) { return to_py(p.theta); }
Ref phi(const SphericalPoint& p) { return to_py(p.phi); }
Ref to_cartesian(const SphericalPoint& p) { return cartesian_point_class().make(core::spherical_to_cartesian(p)); }
Ref to_geo(const SphericalPoint& p) { return geo_point_class().make(core::spherical_to_geo(p)); }

std::string repr(const SphericalPoint& p) { return core::format("SphericalPoint(r={}, theta={}, phi={})", p.r, p.theta, p.phi); }

bool equal(const SphericalPoint& a, const SphericalPoint& b) { return a.r == b.r && a.theta == b.theta && a.phi == b.phi; }

}  // namespace

Class<SphericalPoint>& spherical_point_class() {
    static Class<SphericalPoint> cls("SphericalPoint");
    static Class<SphericalPoint>& described = cls.constructor<construct, kNew>()
                                                   .getter<r>("r")
                                                   .getter<theta>("theta")
                                                   .getter<phi>("phi")
                                                   .method<to_cartesian>("to_cartesian")
                                                   .method<to_geo>("to_geo")
                                                   .repr<repr>()
                                                   .equality<equal>();
    return described;
}

core::SphericalPoint to_spherical_point(PyObject* obj) {
    if (!PyObject_TypeCheck(obj, spherical_point_class().type())) raise_cast_error(obj, "SphericalPoint");
    return Class<SphericalPoint>::value_of(obj);
}

}  // namespace vantorel::python
