#include "python/store_path.hpp"

#include <string>

namespace vantorel::python {

std::filesystem::path to_path(PyObject* obj) { return std::filesystem::path(to_string(obj)); }

Ref path_to_py(const std::filesystem::path& path) {
    const std::string& text = path.native();
    return Ref::steal(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
}

}  // namespace vantorel::python
