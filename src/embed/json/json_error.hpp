#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vantorel::embed {

// A JSON reading failure: what went wrong and where the reader stopped.
// `line` counts from 1; `column` is the number of bytes consumed on that line.
struct JsonError {
    std::string description;
    std::size_t line = 1;
    std::size_t column = 0;

    // "<description> at line <line> column <column>"
    [[nodiscard]] std::string message() const;

    friend bool operator==(const JsonError&, const JsonError&) = default;
};

// Texts of data errors, shared by the JSON reader and the readers of other
// record forms so that both report a mismatch in the same words.
namespace json_message {

std::string invalid_type(std::string_view found, std::string_view expected);
std::string invalid_value(std::string_view found, std::string_view expected);
std::string invalid_length(std::size_t length, std::string_view expected);
std::string missing_field(std::string_view field);
std::string duplicate_field(std::string_view field);
// "unknown variant `x`, expected one of `A`, `B`, `C`" (or "`A` or `B`", "`A`").
std::string unknown_variant(std::string_view variant, std::span<const std::string_view> expected);

// How a found value is named in those texts.
inline constexpr std::string_view kNull = "null";
inline constexpr std::string_view kMap = "map";
inline constexpr std::string_view kSequence = "sequence";
std::string boolean(bool v);
std::string integer(std::uint64_t v);
std::string integer(std::int64_t v);
// "floating point `20.0`": the JSON number form of the value.
std::string floating(double v);
// "string \"abc\"": the text in quoted form.
std::string string(std::string_view v);

}  // namespace json_message

}  // namespace vantorel::embed
