#include "core/conversions.hpp"
#include "core/format.hpp"
#include "python/points/points.hpp"

namespace vantorel::python {
namespace {

using core::CartesianPoint;

constexpr Param kFields[] = {{"x"}, {"y"}, {"z"}};
constexpr Params kNew{"CartesianPoint", "__new__", kFields};

CartesianPoint construct(const Args<kFields>& a) {
    const double x = a.f64<"x">();
    const double y = a.f64<"y">();
    const double z = a.f64<"z">();
    return {x, y, z};
}

Ref x(const CartesianPoint& p) { return to_py(p.x); }
Ref y(const CartesianPoint& p) { return to_py(p.y); }
Ref z(const CartesianPoint& p) { return to_py(p.z); }
Ref magnitude(const CartesianPoint& p) { return to_py(p.magnitude()); }
Ref normalize(const CartesianPoint& p) { return cartesian_point_class().make(p.normalize()); }
Ref to_spherical(const CartesianPoint& p) { return spherical_point_class().make(core::cartesian_to_spherical(p)); }

std::string repr(const CartesianPoint& p) { return core::format("CartesianPoint(x={}, y={}, z={})", p.x, p.y, p.z); }

bool equal(const CartesianPoint& a, const CartesianPoint& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

}  // namespace

Class<CartesianPoint>& cartesian_point_class() {
    static Class<CartesianPoint> cls("CartesianPoint");
    static Class<CartesianPoint>& described = cls.constructor<construct, kNew>()
                                                  .getter<x>("x")
                                                  .getter<y>("y")
                                                  .getter<z>("z")
                                                  .method<magnitude>("magnitude")
                                                  .method<normalize>("normalize")
                                                  .method<to_spherical>("to_spherical")
                                                  .repr<repr>()
                                                  .equality<equal>();
    return described;
}

core::CartesianPoint to_cartesian_point(PyObject* obj) {
    if (!PyObject_TypeCheck(obj, cartesian_point_class().type())) raise_cast_error(obj, "CartesianPoint");
    return Class<CartesianPoint>::value_of(obj);
}

}  // namespace vantorel::python
