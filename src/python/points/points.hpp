#pragma once

#include "core/types.hpp"
#include "embed/projection/projection.hpp"
#include "python/runtime/classes.hpp"

namespace vantorel::python {

Class<core::SphericalPoint>& spherical_point_class();
Class<core::CartesianPoint>& cartesian_point_class();
Class<core::GeoPoint>& geo_point_class();
Class<embed::ProjectedPoint>& projected_point_class();

// Point arguments of the geometry functions, copied out of their instances.
core::SphericalPoint spherical_arg(const Args& a, std::size_t i);
core::CartesianPoint cartesian_arg(const Args& a, std::size_t i);
core::GeoPoint geo_arg(const Args& a, std::size_t i);

}  // namespace vantorel::python
