#pragma once

#include <string>
#include <utility>

namespace vantorel::embed {

// Failure of a file or environment operation of the stores: a kind callers can
// branch on and the display text.
struct IoError {
    enum class Kind { NotFound, PermissionDenied, AlreadyExists, InvalidInput, InvalidData, Other };

    Kind kind = Kind::Other;
    std::string text;

    static IoError not_found(std::string text) { return {Kind::NotFound, std::move(text)}; }
    static IoError invalid_data(std::string text) { return {Kind::InvalidData, std::move(text)}; }
    // An operating-system failure from its error number, e.g. ENOENT.
    static IoError from_errno(int err);

    [[nodiscard]] const std::string& message() const noexcept { return text; }

    friend bool operator==(const IoError&, const IoError&) = default;
};

}  // namespace vantorel::embed
