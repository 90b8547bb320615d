#pragma once

#include "embed/navigator/navigator_config.hpp"
#include "python/runtime/classes.hpp"

namespace vantorel::python {

// NavigatorConfig wraps the engine's settings record itself.
Class<embed::navigator::NavigatorConfig>& navigator_config_class();

// run_navigator(pipeline, *, config=None)
PyMethodDef& run_navigator_def();

}  // namespace vantorel::python
