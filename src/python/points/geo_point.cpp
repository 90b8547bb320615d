#include "core/conversions.hpp"
#include "core/format.hpp"
#include "python/points/points.hpp"

namespace vantorel::python {
namespace {

using core::GeoPoint;

constexpr Param kFields[] = {{"lat"}, {"lon"}, {"alt"}};
constexpr Params kNew{"GeoPoint", "__new__", kFields};

GeoPoint construct(const Args<kFields>& a) {
    const double lat = a.f64<"lat">();
    const double lon = a.f64<"lon">();
    const double alt = a.f64<"alt">();
    auto point = GeoPoint::make(lat, lon, alt);
    if (!point) raise_value_error(point.error().message());
    return *point;
}

Ref lat(const GeoPoint& p) { return to_py(p.lat); }
Ref lon(const GeoPoint& p) { return to_py(p.lon); }
Ref alt(const GeoPoint& p) { return to_py(p.alt); }
Ref to_spherical(const GeoPoint& p) { return spherical_point_class().make(core::geo_to_spherical(p)); }
Ref to_cartesian(const GeoPoint& p) { return cartesian_point_class().make(core::geo_to_cartesian(p)); }

std::string repr(const GeoPoint& p) { return core::format("GeoPoint(lat={}, lon={}, alt={})", p.lat, p.lon, p.alt); }

bool equal(const GeoPoint& a, const GeoPoint& b) { return a.lat == b.lat && a.lon == b.lon && a.alt == b.alt; }

}  // namespace

Class<GeoPoint>& geo_point_class() {
    static Class<GeoPoint> cls("GeoPoint");
    static Class<GeoPoint>& described = cls.constructor<construct, kNew>()
                                            .getter<lat>("lat")
                                            .getter<lon>("lon")
                                            .getter<alt>("alt")
                                            .method<to_spherical>("to_spherical")
                                            .method<to_cartesian>("to_cartesian")
                                            .repr<repr>()
                                            .equality<equal>();
    return described;
}

core::GeoPoint to_geo_point(PyObject* obj) {
    if (!PyObject_TypeCheck(obj, geo_point_class().type())) raise_cast_error(obj, "GeoPoint");
    return Class<GeoPoint>::value_of(obj);
}

}  // namespace vantorel::python
