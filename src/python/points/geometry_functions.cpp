#include "python/points/geometry_functions.hpp"

#include "core/conversions.hpp"
#include "core/distance.hpp"
#include "python/points/points.hpp"

namespace vantorel::python {
namespace {

constexpr const char* kAB[] = {"a", "b"};
constexpr const char* kABRadius[] = {"a", "b", "radius"};
constexpr const char* kP[] = {"p"};

constexpr Params kAngular{nullptr, "angular_distance", kAB, 2, 2};
constexpr Params kGreatCircle{nullptr, "great_circle_distance", kABRadius, 3, 3};
constexpr Params kChord{nullptr, "chord_distance", kAB, 2, 2};
constexpr Params kSphericalToCartesian{nullptr, "spherical_to_cartesian", kP, 1, 1};
constexpr Params kCartesianToSpherical{nullptr, "cartesian_to_spherical", kP, 1, 1};
constexpr Params kSphericalToGeo{nullptr, "spherical_to_geo", kP, 1, 1};
constexpr Params kGeoToSpherical{nullptr, "geo_to_spherical", kP, 1, 1};

Ref angular_distance(const Args& a) {
    const auto p = spherical_arg(a, 0);
    const auto q = spherical_arg(a, 1);
    return to_py(core::angular_distance(p, q));
}

Ref great_circle_distance(const Args& a) {
    const auto p = spherical_arg(a, 0);
    const auto q = spherical_arg(a, 1);
    const double radius = a.f64(2);
    return to_py(core::great_circle_distance(p, q, radius));
}

Ref chord_distance(const Args& a) {
    const auto p = spherical_arg(a, 0);
    const auto q = spherical_arg(a, 1);
    return to_py(core::chord_distance(p, q));
}

Ref spherical_to_cartesian(const Args& a) {
    return cartesian_point_class().make(core::spherical_to_cartesian(spherical_arg(a, 0)));
}

Ref cartesian_to_spherical(const Args& a) {
    return spherical_point_class().make(core::cartesian_to_spherical(cartesian_arg(a, 0)));
}

Ref spherical_to_geo(const Args& a) { return geo_point_class().make(core::spherical_to_geo(spherical_arg(a, 0))); }

Ref geo_to_spherical(const Args& a) { return spherical_point_class().make(core::geo_to_spherical(geo_arg(a, 0))); }

}  // namespace

PyMethodDef& angular_distance_def() {
    static PyMethodDef def = function_def<angular_distance, kAngular>("angular_distance(a, b)\n--\n\n");
    return def;
}

PyMethodDef& great_circle_distance_def() {
    static PyMethodDef def = function_def<great_circle_distance, kGreatCircle>("great_circle_distance(a, b, radius)\n--\n\n");
    return def;
}

PyMethodDef& chord_distance_def() {
    static PyMethodDef def = function_def<chord_distance, kChord>("chord_distance(a, b)\n--\n\n");
    return def;
}

PyMethodDef& spherical_to_cartesian_def() {
    static PyMethodDef def = function_def<spherical_to_cartesian, kSphericalToCartesian>("spherical_to_cartesian(p)\n--\n\n");
    return def;
}

PyMethodDef& cartesian_to_spherical_def() {
    static PyMethodDef def = function_def<cartesian_to_spherical, kCartesianToSpherical>("cartesian_to_spherical(p)\n--\n\n");
    return def;
}

PyMethodDef& spherical_to_geo_def() {
    static PyMethodDef def =
        function_def<spherical_to_geo, kSphericalToGeo>("spherical_to_geo(p)\n--\n\n");
    return def;
}

PyMethodDef& geo_to_spherical_def() {
    static PyMethodDef def =
        function_def<geo_to_spherical, kGeoToSpherical>("geo_to_spherical(p)\n--\n\n");
    return def;
}

}  // namespace vantorel::python
