#include "python/points/geometry_functions.hpp"

#include "core/conversions.hpp"
#include "core/distance.hpp"
#include "python/points/points.hpp"

namespace vantorel::python {
namespace {

constexpr Param kAB[] = {{"a"}, {"b"}};
constexpr Param kABRadius[] = {{"a"}, {"b"}, {"radius"}};
constexpr Param kP[] = {{"p"}};

constexpr Params kAngular{nullptr, "angular_distance", kAB};
constexpr Params kGreatCircle{nullptr, "great_circle_distance", kABRadius};
constexpr Params kChord{nullptr, "chord_distance", kAB};
constexpr Params kSphericalToCartesian{nullptr, "spherical_to_cartesian", kP};
constexpr Params kCartesianToSpherical{nullptr, "cartesian_to_spherical", kP};
constexpr Params kSphericalToGeo{nullptr, "spherical_to_geo", kP};
constexpr Params kGeoToSpherical{nullptr, "geo_to_spherical", kP};

Ref angular_distance(const Args<kAB>& a) {
    const auto p = a.convert<"a">(to_spherical_point);
    const auto q = a.convert<"b">(to_spherical_point);
    return to_py(core::angular_distance(p, q));
}

Ref great_circle_distance(const Args<kABRadius>& a) {
    const auto p = a.convert<"a">(to_spherical_point);
    const auto q = a.convert<"b">(to_spherical_point);
    const double radius = a.f64<"radius">();
    return to_py(core::great_circle_distance(p, q, radius));
}

Ref chord_distance(const Args<kAB>& a) {
    const auto p = a.convert<"a">(to_spherical_point);
    const auto q = a.convert<"b">(to_spherical_point);
    return to_py(core::chord_distance(p, q));
}

Ref spherical_to_cartesian(const Args<kP>& a) {
    return cartesian_point_class().make(core::spherical_to_cartesian(a.convert<"p">(to_spherical_point)));
}

Ref cartesian_to_spherical(const Args<kP>& a) {
    return spherical_point_class().make(core::cartesian_to_spherical(a.convert<"p">(to_cartesian_point)));
}

Ref spherical_to_geo(const Args<kP>& a) {
    return geo_point_class().make(core::spherical_to_geo(a.convert<"p">(to_spherical_point)));
}

Ref geo_to_spherical(const Args<kP>& a) {
    return spherical_point_class().make(core::geo_to_spherical(a.convert<"p">(to_geo_point)));
}

}  // namespace

PyMethodDef& angular_distance_def() { return function_def<angular_distance, kAngular>(); }
PyMethodDef& great_circle_distance_def() { return function_def<great_circle_distance, kGreatCircle>(); }
PyMethodDef& chord_distance_def() { return function_def<chord_distance, kChord>(); }
PyMethodDef& spherical_to_cartesian_def() { return function_def<spherical_to_cartesian, kSphericalToCartesian>(); }
PyMethodDef& cartesian_to_spherical_def() { return function_def<cartesian_to_spherical, kCartesianToSpherical>(); }
PyMethodDef& spherical_to_geo_def() { return function_def<spherical_to_geo, kSphericalToGeo>(); }
PyMethodDef& geo_to_spherical_def() { return function_def<geo_to_spherical, kGeoToSpherical>(); }

}  // namespace vantorel::python
