#include "python/store_path.hpp"

#include <string>

namespace vantorel::python {

std::filesystem::path path_arg(const Args& a, std::size_t i) { return std::filesystem::path(a.str(i)); }

Ref path_to_py(const std::filesystem::path& path) {
    const std::string& text = path.native();
    return Ref::steal(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
}

}  // namespace vantorel::python
