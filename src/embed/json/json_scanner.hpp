#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "embed/json/json_error.hpp"

namespace vantorel::embed {

// A JSON number as written: a non-negative integer that fits 64 bits, a negative
// one that fits, or anything else as the nearest double.
using JsonNumber = std::variant<std::uint64_t, std::int64_t, double>;

// What "-0" reads as: the record readers take it as the double -0.0; the
// tree takes it as the integer it is written as, 0.
enum class MinusZero { Float, Integer };

// Syntax error texts of the JSON reader.
namespace json_syntax {
inline constexpr std::string_view kEofValue = "EOF while parsing a value";
inline constexpr std::string_view kEofObject = "EOF while parsing an object";
inline constexpr std::string_view kEofList = "EOF while parsing a list";
inline constexpr std::string_view kEofString = "EOF while parsing a string";
inline constexpr std::string_view kExpectedValue = "expected value";
inline constexpr std::string_view kExpectedIdent = "expected ident";
inline constexpr std::string_view kExpectedColon = "expected `:`";
inline constexpr std::string_view kExpectedObjectCommaOrEnd = "expected `,` or `}`";
inline constexpr std::string_view kExpectedListCommaOrEnd = "expected `,` or `]`";
inline constexpr std::string_view kKeyMustBeString = "key must be a string";
inline constexpr std::string_view kTrailingCharacters = "trailing characters";
inline constexpr std::string_view kTrailingComma = "trailing comma";
inline constexpr std::string_view kNumberOutOfRange = "number out of range";
inline constexpr std::string_view kInvalidNumber = "invalid number";
inline constexpr std::string_view kInvalidEscape = "invalid escape";
inline constexpr std::string_view kControlCharacter =
    "control character (\\u0000-\\u001F) found while parsing a string";
inline constexpr std::string_view kLoneSurrogate = "lone leading surrogate in hex escape";
inline constexpr std::string_view kUnexpectedEndOfHexEscape = "unexpected end of hex escape";
inline constexpr std::string_view kInvalidCodePoint = "invalid unicode code point";
inline constexpr std::string_view kRecursionLimit = "recursion limit exceeded";
}  // namespace json_syntax

// The lexical layer of the JSON reader: a position in the text, the first
// error with its line and column, and the scanning of literals, numbers and
// strings. Each scan returns false or nothing after recording its error.
class JsonScanner {
public:
    explicit JsonScanner(std::string_view text) noexcept : text_(text) {}

    [[nodiscard]] bool failed() const noexcept { return failed_; }
    [[nodiscard]] const JsonError& error() const;

    // The next byte (0..255), or -1 at the end of the text.
    [[nodiscard]] int peek() const noexcept {
        return pos_ < text_.size() ? static_cast<unsigned char>(text_[pos_]) : -1;
    }
    void eat() noexcept { ++pos_; }
    // Skips JSON white space and peeks.
    int skip_whitespace() noexcept;

    // An error at the current position; the first error is kept.
    void fail_here(std::string_view description);
    // An error found by looking at the next character, which it counts.
    void fail_at_peek(std::string_view description);

    // The rest of "null", "true" or "false" after its first letter.
    bool scan_ident(std::string_view rest);
    // At '-' or a digit.
    std::optional<JsonNumber> scan_number(MinusZero minus_zero = MinusZero::Float);
    // After the opening quote: the decoded text, which must be valid UTF-8.
    bool scan_string(std::string& out);
    // Skipping checks the syntax only: a skipped number never overflows and a
    // skipped string's escapes are not decoded.
    bool skip_number();
    bool skip_string();

private:
    void fail_at(std::size_t index, std::string_view description);
    bool scan_escape(std::string& out);
    std::optional<char32_t> scan_hex4();
    bool skip_exponent();
    bool skip_escape();

    std::string_view text_;
    std::size_t pos_ = 0;
    bool failed_ = false;
    JsonError error_;
};

}  // namespace vantorel::embed
