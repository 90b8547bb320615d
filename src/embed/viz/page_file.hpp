#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "core/expected.hpp"

namespace vantorel::embed::viz {

// Why a page could not be saved; `os` is the operating system's text.
struct PageFileError {
    struct WriteFailed {
        std::string path;
        std::string os;
    };
    struct ResolveFailed {
        std::string os;
    };

    std::variant<WriteFailed, ResolveFailed> kind;

    [[nodiscard]] std::string message() const;
};

// Writes `page` to `output` (created or truncated) and returns the file's
// canonical absolute path, symbolic links and "." / ".." resolved. A failed
// resolution leaves the file written.
core::Expected<std::string, PageFileError> write_page(const std::string& output, std::string_view page);

}  // namespace vantorel::embed::viz
