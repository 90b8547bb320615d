#include "python/runtime/gil.hpp"

namespace vantorel::python::gil_detail {

bool signal_raised_with_gil(void*) { return PyErr_CheckSignals() != 0; }

bool signal_raised_without_gil(void* thread_state) {
    auto* state = static_cast<PyThreadState**>(thread_state);
    PyEval_RestoreThread(*state);
    const bool raised = PyErr_CheckSignals() != 0;
    *state = PyEval_SaveThread();
    return raised;
}

}  // namespace vantorel::python::gil_detail
