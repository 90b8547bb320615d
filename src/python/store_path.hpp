#pragma once

// File paths crossing the boundary of the store functions.
#include <filesystem>

#include "python/runtime/args.hpp"

namespace vantorel::python {

// A path argument: only `str` is accepted, path-like objects are not.
std::filesystem::path to_path(PyObject* obj);

// A path as `str`; bytes that are not UTF-8 become U+FFFD.
Ref path_to_py(const std::filesystem::path& path);

}  // namespace vantorel::python
