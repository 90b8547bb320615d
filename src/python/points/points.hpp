#pragma once

#include "core/types.hpp"
#include "embed/projection/projection.hpp"
#include "python/runtime/classes.hpp"

namespace vantorel::python {

Class<core::SphericalPoint>& spherical_point_class();
Class<core::CartesianPoint>& cartesian_point_class();
Class<core::GeoPoint>& geo_point_class();
Class<embed::ProjectedPoint>& projected_point_class();

// Point arguments of the geometry functions, copied out of their instances;
// TypeError for any other object.
core::SphericalPoint to_spherical_point(PyObject* obj);
core::CartesianPoint to_cartesian_point(PyObject* obj);
core::GeoPoint to_geo_point(PyObject* obj);

}  // namespace vantorel::python
