#include "core/format.hpp"

#include <array>
#include <charconv>
#include <cmath>

#include "core/invariant.hpp"
#include "core/unicode_escape.hpp"
#include "core/utf8.hpp"

namespace vantorel::core {
namespace {

// Appends the non-finite spellings; returns false for finite values.
bool append_non_finite(std::string& out, double v) {
    if (std::isnan(v)) {
        out += "NaN";
        return true;
    }
    if (std::isinf(v)) {
        out += v < 0 ? "-inf" : "inf";
        return true;
    }
    return false;
}

template <class... Fmt>
void append_chars(std::string& out, double v, Fmt... fmt) {
    // The longest fixed rendering of a double is about 1100 characters.
    std::array<char, 1200> buf;
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v, fmt...);
    if (res.ec != std::errc{}) stop("float rendering overflowed its buffer");
    out.append(buf.data(), res.ptr);
}

void append_unsigned(std::string& out, std::uint64_t v) {
    std::array<char, 24> buf;
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    out.append(buf.data(), res.ptr);
}

void append_signed(std::string& out, std::int64_t v) {
    std::array<char, 24> buf;
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    out.append(buf.data(), res.ptr);
}

}  // namespace

void append_float(std::string& out, double v) {
    if (append_non_finite(out, v)) return;
    // Shortest round-trip digits, laid out positionally. Large integral values
    // keep only their significant digits followed by zeros, not the binary
    // value's exact expansion: 1.2345678901234568e20 -> "123456789012345680000".
    std::string sci;
    append_chars(sci, v, std::chars_format::scientific);
    std::size_t pos = 0;
    if (sci[0] == '-') {
        out += '-';
        pos = 1;
    }
    const auto e = sci.find('e');
    std::string digits;
    for (std::size_t i = pos; i < e; ++i) {
        if (sci[i] != '.') digits += sci[i];
    }
    int exponent = 0;
    std::from_chars(sci.data() + e + (sci[e + 1] == '+' ? 2 : 1), sci.data() + sci.size(), exponent);
    const int point = exponent + 1;  // digits before the decimal point
    const int ndigits = static_cast<int>(digits.size());
    if (point <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-point), '0');
        out += digits;
    } else if (point >= ndigits) {
        out += digits;
        out.append(static_cast<std::size_t>(point - ndigits), '0');
    } else {
        out.append(digits, 0, static_cast<std::size_t>(point));
        out += '.';
        out.append(digits, static_cast<std::size_t>(point));
    }
}

std::string format_float(double v) {
    std::string out;
    append_float(out, v);
    return out;
}

void append_fixed(std::string& out, double v, int decimals) {
    if (append_non_finite(out, v)) return;
    append_chars(out, v, std::chars_format::fixed, decimals);
}

std::string format_fixed(double v, int decimals) {
    std::string out;
    append_fixed(out, v, decimals);
    return out;
}

void append_exp(std::string& out, double v, int decimals) {
    if (append_non_finite(out, v)) return;
    std::string sci;
    append_chars(sci, v, std::chars_format::scientific, decimals);
    // "1.23e+04" -> "1.23e4", "1.23e-04" -> "1.23e-4".
    const auto e = sci.find('e');
    out.append(sci, 0, e + 1);
    std::size_t pos = e + 1;
    if (sci[pos] == '-') out += '-';
    if (sci[pos] == '+' || sci[pos] == '-') ++pos;
    while (pos + 1 < sci.size() && sci[pos] == '0') ++pos;
    out.append(sci, pos);
}

std::string format_exp(double v, int decimals) {
    std::string out;
    append_exp(out, v, decimals);
    return out;
}

void append_quoted(std::string& out, std::string_view text) {
    out += '"';
    std::size_t i = 0;
    while (i < text.size()) {
        const char32_t cp = decode_utf8(text, i);
        switch (cp) {
            case U'"': out += "\\\""; continue;
            case U'\\': out += "\\\\"; continue;
            case U'\t': out += "\\t"; continue;
            case U'\r': out += "\\r"; continue;
            case U'\n': out += "\\n"; continue;
            case U'\0': out += "\\0"; continue;
            default: break;
        }
        if (!needs_unicode_escape(cp)) {
            append_utf8(out, cp);
        } else {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\u{";
            bool started = false;
            for (int shift = 20; shift >= 0; shift -= 4) {
                const auto nibble = (cp >> shift) & 0xF;
                if (nibble != 0 || started || shift == 0) {
                    out += kHex[nibble];
                    started = true;
                }
            }
            out += '}';
        }
    }
    out += '"';
}

std::string quoted(std::string_view text) {
    std::string out;
    append_quoted(out, text);
    return out;
}

std::string vformat(std::string_view pattern, std::initializer_list<FormatArg> args) {
    std::string out;
    out.reserve(pattern.size() + 16 * args.size());
    auto next = args.begin();
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        if (c == '}' && i + 1 < pattern.size() && pattern[i + 1] == '}') {
            out += '}';
            i += 2;
            continue;
        }
        if (c != '{') {
            out += c;
            ++i;
            continue;
        }
        if (i + 1 < pattern.size() && pattern[i + 1] == '{') {
            out += '{';
            i += 2;
            continue;
        }
        const auto close = pattern.find('}', i);
        if (close == std::string_view::npos) stop("unterminated placeholder in format pattern");
        const std::string_view placeholder = pattern.substr(i + 1, close - i - 1);
        i = close + 1;
        if (next == args.end()) stop("format pattern has more placeholders than arguments");
        const FormatArg& arg = *next++;

        if (placeholder == ":?") {
            append_quoted(out, std::get<std::string_view>(arg));
            continue;
        }
        if (placeholder.starts_with(":.")) {
            const bool exp = placeholder.ends_with('e');
            const auto digits = placeholder.substr(2, placeholder.size() - 2 - (exp ? 1 : 0));
            int decimals = 0;
            std::from_chars(digits.data(), digits.data() + digits.size(), decimals);
            const double v = std::get<double>(arg);
            exp ? append_exp(out, v, decimals) : append_fixed(out, v, decimals);
            continue;
        }
        if (!placeholder.empty()) stop("unsupported format placeholder");
        std::visit(
            [&out](const auto& v) {
                using T = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<T, double>) {
                    append_float(out, v);
                } else if constexpr (std::is_same_v<T, std::int64_t>) {
                    append_signed(out, v);
                } else if constexpr (std::is_same_v<T, std::uint64_t>) {
                    append_unsigned(out, v);
                } else if constexpr (std::is_same_v<T, bool>) {
                    out += v ? "true" : "false";
                } else {
                    out += v;
                }
            },
            arg);
    }
    if (next != args.end()) stop("format pattern has fewer placeholders than arguments");
    return out;
}

}  // namespace vantorel::core
