#include "python/runtime/classes.hpp"

namespace vantorel::python {

Ref new_function(PyMethodDef& def, PyObject* module) {
    Ref name = Ref::steal(PyModule_GetNameObject(module));
    return Ref::steal(PyCFunction_NewEx(&def, module, name.get()));
}

}  // namespace vantorel::python
