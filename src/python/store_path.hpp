#pragma once

// File paths crossing the boundary of the store functions.
#include <cstddef>
#include <filesystem>

#include "python/runtime/args.hpp"

namespace vantorel::python {

// Argument i as a path; only `str` is accepted, path-like objects are not.
std::filesystem::path path_arg(const Args& a, std::size_t i);

// A path as `str`; bytes that are not UTF-8 become U+FFFD.
Ref path_to_py(const std::filesystem::path& path);

}  // namespace vantorel::python
