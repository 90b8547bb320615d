#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace vantorel::core {

// Shortest decimal that reads back to the same double, never in exponent
// form, integral values without a fraction: 1.0 -> "1", -0.0 -> "-0",
// NaN -> "NaN", infinities -> "inf" / "-inf".
void append_float(std::string& out, double v);
std::string format_float(double v);

// Fixed point with exactly `decimals` digits after the point, correctly rounded.
void append_fixed(std::string& out, double v, int decimals);
std::string format_fixed(double v, int decimals);

// Exponent form with `decimals` mantissa digits: 1234.5 -> "1.23e3", 0.00012 -> "1.20e-4".
void append_exp(std::string& out, double v, int decimals);
std::string format_exp(double v, int decimals);

// A text in double quotes with the escapes of a debug rendering:
// \" \\ \t \r \n \0; other non-printable code points and combining marks
// (see core/unicode_escape.hpp) as \u{hex}; a single quote as itself.
void append_quoted(std::string& out, std::string_view text);
std::string quoted(std::string_view text);

// One argument of `format`: numbers and texts.
using FormatArg = std::variant<double, std::int64_t, std::uint64_t, std::string_view, bool>;

// Placeholders: "{}" plain value; "{:.N}" fixed point; "{:.Ne}" exponent form;
// "{:?}" quoted text. "{{" and "}}" are literal braces.
std::string vformat(std::string_view pattern, std::initializer_list<FormatArg> args);

template <class T>
FormatArg to_format_arg(const T& v) {
    if constexpr (std::same_as<T, bool>) {
        return v;
    } else if constexpr (std::floating_point<T>) {
        return static_cast<double>(v);
    } else if constexpr (std::signed_integral<T>) {
        return static_cast<std::int64_t>(v);
    } else if constexpr (std::unsigned_integral<T>) {
        return static_cast<std::uint64_t>(v);
    } else {
        return std::string_view(v);
    }
}

template <class... Args>
std::string format(std::string_view pattern, const Args&... args) {
    return vformat(pattern, {to_format_arg(args)...});
}

}  // namespace vantorel::core
