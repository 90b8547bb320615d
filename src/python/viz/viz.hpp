#pragma once

#include "python/runtime/classes.hpp"

namespace vantorel::python {

PyMethodDef& visualize_def();
PyMethodDef& visualize_pipeline_def();

}  // namespace vantorel::python
