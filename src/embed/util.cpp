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

bool is_valid_utf8(std::string_view text) noexcept {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        if (b0 < 0x80) {
            ++i;
            continue;
        }
        std::size_t extra = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            extra = 1;
            cp = b0 & 0x1Fu;
            min = 0x80;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            extra = 2;
            cp = b0 & 0x0Fu;
            min = 0x800;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            extra = 3;
            cp = b0 & 0x07u;
            min = 0x10000;
        } else {
            return false;
        }
        if (n - i <= extra) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto b = static_cast<unsigned char>(text[i + k]);
            if ((b & 0xC0u) != 0x80u) return false;
            cp = (cp << 6) | (b & 0x3Fu);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

}  // namespace vantorel::embed::util
