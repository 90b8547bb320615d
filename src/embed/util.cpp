#include "embed/util.hpp"

#include <cstdlib>

namespace vantorel::embed::util {

std::string timestamp_at(std::chrono::system_clock::time_point when) {
    const auto since_epoch = when.time_since_epoch();
    if (since_epoch.count() < 0) return "0";
    return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(since_epoch).count());
}

std::string default_timestamp() { return timestamp_at(std::chrono::system_clock::now()); }

core::Expected<std::filesystem::path, IoError> vantorel_home_dir() {
    const char* base = std::getenv("HOME");
    if (base == nullptr) base = std::getenv("USERPROFILE");
    if (base == nullptr) return core::Unexpected{IoError::not_found("neither HOME nor USERPROFILE is set")};
    // An empty base joins to the relative path ".vantorel".
    return std::filesystem::path(base) / ".vantorel";
}

}  // namespace vantorel::embed::util
