#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/expected.hpp"
#include "embed/io_error.hpp"

namespace vantorel::embed::util {

// Whole seconds since the UNIX epoch in decimal; "0" for a clock before 1970.
std::string default_timestamp();
std::string timestamp_at(std::chrono::system_clock::time_point when);

// The directory of the per-user stores: ".vantorel" under HOME (even when it
// is empty), else under USERPROFILE. Neither created nor checked here.
core::Expected<std::filesystem::path, IoError> vantorel_home_dir();


}  // namespace vantorel::embed::util
