#include "python/runtime/errors.hpp"

#include <cxxabi.h>

#include <new>
#include <stdexcept>

#include "core/interrupt.hpp"
#include "core/invariant.hpp"

namespace vantorel::python {

namespace {

// The message as a str of its full length: a C string would end at the first
// NUL, and text from paths or caller data need not be UTF-8.
void set_error(PyObject* type, std::string_view message) {
    Ref text = Ref::steal(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
    if (text) PyErr_SetObject(type, text.get());
}

}  // namespace

void raise(PyObject* type, std::string_view message) {
    set_error(type, message);
    throw PyErrorSet{};
}

void raise_cast_error(PyObject* obj, std::string_view expected) {
    if (obj == Py_None) raise_type_error("'None' is not an instance of '" + std::string(expected) + "'");
    raise_type_error("'" + type_qualname(obj) + "' object is not an instance of '" + std::string(expected) + "'");
}

Ref fetch_exception() {
#if PY_VERSION_HEX >= 0x030C0000
    return Ref::steal(PyErr_GetRaisedException());
#else
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* tb = nullptr;
    PyErr_Fetch(&type, &value, &tb);
    PyErr_NormalizeException(&type, &value, &tb);
    if (tb != nullptr) PyException_SetTraceback(value, tb);
    Py_XDECREF(type);
    Py_XDECREF(tb);
    return Ref::steal(value);
#endif
}

PyObject* panic_exception_type() {
    static PyObject* type = nullptr;
    if (type == nullptr) {
        type = PyErr_NewExceptionWithDoc("vantorel_runtime.PanicException",
                                         "Raised when the native engine hits a broken invariant.",
                                         PyExc_BaseException, nullptr);
    }
    return type;
}

// That unwind carries no object, so its handler's reference is bound to null
// as the ABI intends; the sanitizer's null check must not stop it (the
// attribute is ignored on templates, hence this one plain function).
[[gnu::no_sanitize("null")]] void pass_thread_end() {
    try {
        throw;
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
    }
}

namespace {

void set_panic(std::string_view message) {
    PyObject* type = panic_exception_type();
    if (type == nullptr) return;  // creating the type failed and left its own exception
    set_error(type, message);
}

}  // namespace

void translate_current_exception() noexcept {
    try {
        throw;
    } catch (const PyErrorSet&) {
        if (!PyErr_Occurred()) set_panic("native call failed without setting an exception");
    } catch (const core::Interrupted&) {
        // The signal handler that stopped the work has set its exception.
        if (!PyErr_Occurred()) PyErr_SetNone(PyExc_KeyboardInterrupt);
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::length_error&) {
        // A container asked for more than it can ever hold: an allocation
        // failure like any other, not a broken invariant.
        PyErr_NoMemory();
    } catch (const core::InvariantViolation& e) {
        set_panic(e.message());
    } catch (const std::exception& e) {
        set_panic(e.what());
    } catch (...) {
        set_panic("native code stopped with an unknown failure");
    }
}

}  // namespace vantorel::python
