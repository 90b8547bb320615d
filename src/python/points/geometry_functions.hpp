#pragma once

#include "python/runtime/classes.hpp"

namespace vantorel::python {

PyMethodDef& angular_distance_def();
PyMethodDef& great_circle_distance_def();
PyMethodDef& chord_distance_def();
PyMethodDef& spherical_to_cartesian_def();
PyMethodDef& cartesian_to_spherical_def();
PyMethodDef& spherical_to_geo_def();
PyMethodDef& geo_to_spherical_def();

}  // namespace vantorel::python
