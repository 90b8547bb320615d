#include "python/runtime/ref.hpp"

#include <string>

namespace vantorel::python {

Ref to_py(double v) { return Ref::steal(PyFloat_FromDouble(v)); }
Ref to_py(std::uint64_t v) { return Ref::steal(PyLong_FromUnsignedLongLong(v)); }
Ref to_py(std::int64_t v) { return Ref::steal(PyLong_FromLongLong(v)); }
Ref to_py_bool(bool v) { return Ref::borrow(v ? Py_True : Py_False); }

Ref to_py(std::string_view text) {
    return Ref::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

Ref new_list(std::size_t n) { return Ref::steal(PyList_New(static_cast<Py_ssize_t>(n))); }

void set_item(const Ref& list, std::size_t i, Ref item) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());
}

std::string type_qualname(PyObject* obj) {
    Ref name = Ref::steal(PyType_GetQualName(Py_TYPE(obj)));
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(name.get(), &size);
    if (text == nullptr) throw PyErrorSet{};
    return {text, static_cast<std::size_t>(size)};
}

}  // namespace vantorel::python
