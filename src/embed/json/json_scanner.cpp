#include "embed/json/json_scanner.hpp"

#include <algorithm>
#include <charconv>
#include <limits>

#include "core/invariant.hpp"
#include "core/utf8.hpp"

namespace vantorel::embed {
namespace {

using namespace json_syntax;

constexpr bool is_digit(int c) noexcept { return c >= '0' && c <= '9'; }

// Bytes that end a run of plain string content.
constexpr bool ends_plain_run(char c) noexcept {
    return c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20;
}

int hex_value(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Whether a syntactically valid number token that a double cannot hold was too
// large rather than too small: its first non-zero digit stands at a positive
// power of ten.
bool is_too_large(std::string_view token) noexcept {
    std::size_t i = token.front() == '-' ? 1 : 0;
    std::int64_t lead = 0;  // power of ten of the first non-zero digit, before the exponent part
    bool found = false;
    std::int64_t int_digits = 0;
    for (; i < token.size() && is_digit(token[i]); ++i, ++int_digits) {
        if (!found && token[i] != '0') {
            found = true;
            lead = -int_digits;
        }
    }
    if (found) lead += int_digits - 1;
    if (i < token.size() && token[i] == '.') {
        ++i;
        for (std::int64_t k = 1; i < token.size() && is_digit(token[i]); ++i, ++k) {
            if (!found && token[i] != '0') {
                found = true;
                lead = -k;
            }
        }
    }
    if (!found) return false;
    std::int64_t exp = 0;
    if (i < token.size()) {
        ++i;  // 'e' or 'E'
        bool negative = false;
        if (token[i] == '+' || token[i] == '-') negative = token[i++] == '-';
        for (; i < token.size(); ++i) exp = std::min<std::int64_t>(exp * 10 + (token[i] - '0'), 1'000'000'000);
        if (negative) exp = -exp;
    }
    return lead + exp > 0;
}

}  // namespace

const JsonError& JsonScanner::error() const {
    if (!failed_) core::stop("no JSON error to report");
    return error_;
}

int JsonScanner::skip_whitespace() noexcept {
    while (pos_ < text_.size()) {
        const char c = text_[pos_];
        if (c != ' ' && c != '\n' && c != '\t' && c != '\r') break;
        ++pos_;
    }
    return peek();
}

void JsonScanner::fail_at(std::size_t index, std::string_view description) {
    if (failed_) return;
    failed_ = true;
    const std::string_view before = text_.substr(0, index);
    const auto last_newline = before.rfind('\n');
    error_.description = std::string(description);
    error_.line = 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
    error_.column = last_newline == std::string_view::npos ? index : index - last_newline - 1;
}

void JsonScanner::fail_here(std::string_view description) { fail_at(pos_, description); }

void JsonScanner::fail_at_peek(std::string_view description) {
    fail_at(std::min(text_.size(), pos_ + 1), description);
}

bool JsonScanner::scan_ident(std::string_view rest) {
    for (const char expected : rest) {
        if (pos_ >= text_.size()) {
            fail_here(kEofValue);
            return false;
        }
        if (text_[pos_++] != expected) {
            fail_here(kExpectedIdent);
            return false;
        }
    }
    return true;
}

// ---- numbers --------------------------------------------------------------

std::optional<JsonNumber> JsonScanner::scan_number(MinusZero minus_zero) {
    const std::size_t start = pos_;
    const bool negative = text_[pos_] == '-';
    if (negative) ++pos_;
    if (pos_ >= text_.size()) {
        fail_here(kEofValue);
        return std::nullopt;
    }
    const char first = text_[pos_++];
    std::uint64_t significand = 0;
    bool overflow = false;
    if (first == '0') {
        if (is_digit(peek())) {
            fail_at_peek(kInvalidNumber);
            return std::nullopt;
        }
    } else if (is_digit(first)) {
        significand = static_cast<std::uint64_t>(first - '0');
        constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
        while (is_digit(peek())) {
            const auto digit = static_cast<std::uint64_t>(peek() - '0');
            if (significand > (kMax - digit) / 10) overflow = true;
            if (!overflow) significand = significand * 10 + digit;
            ++pos_;
        }
    } else {
        fail_here(kInvalidNumber);
        return std::nullopt;
    }

    bool integral = true;
    if (peek() == '.') {
        integral = false;
        ++pos_;
        const std::size_t digits_start = pos_;
        while (is_digit(peek())) ++pos_;
        if (pos_ == digits_start) {
            fail_at_peek(pos_ < text_.size() ? kInvalidNumber : kEofValue);
            return std::nullopt;
        }
    }
    if (peek() == 'e' || peek() == 'E') {
        integral = false;
        ++pos_;
        if (peek() == '+' || peek() == '-') ++pos_;
        if (pos_ >= text_.size()) {
            fail_here(kEofValue);
            return std::nullopt;
        }
        if (!is_digit(text_[pos_++])) {
            fail_here(kInvalidNumber);
            return std::nullopt;
        }
        while (is_digit(peek())) ++pos_;
    }

    if (integral && !overflow) {
        if (!negative) return JsonNumber{significand};
        constexpr auto kMinMagnitude = std::uint64_t{1} << 63;
        if (significand == 0) {
            return minus_zero == MinusZero::Integer ? JsonNumber{std::uint64_t{0}} : JsonNumber{-0.0};
        }
        if (significand < kMinMagnitude) return JsonNumber{-static_cast<std::int64_t>(significand)};
        if (significand == kMinMagnitude) return JsonNumber{std::numeric_limits<std::int64_t>::min()};
    }
    // Everything else is the correctly rounded double of the whole token.
    const std::string_view token = text_.substr(start, pos_ - start);
    double value = 0.0;
    const auto res = std::from_chars(token.data(), token.data() + token.size(), value);
    if (res.ec == std::errc::result_out_of_range) {
        if (is_too_large(token)) {
            fail_here(kNumberOutOfRange);
            return std::nullopt;
        }
        value = negative ? -0.0 : 0.0;
    } else if (res.ec != std::errc{} || res.ptr != token.data() + token.size()) {
        core::stop("a scanned JSON number did not convert");
    }
    return JsonNumber{value};
}

bool JsonScanner::skip_number() {
    if (text_[pos_] == '-') ++pos_;
    const int first = peek();
    if (first >= 0) ++pos_;
    if (first == '0') {
        if (is_digit(peek())) {
            fail_at_peek(kInvalidNumber);
            return false;
        }
    } else if (is_digit(first)) {
        while (is_digit(peek())) ++pos_;
    } else {
        fail_here(kInvalidNumber);
        return false;
    }
    if (peek() == '.') {
        ++pos_;
        const std::size_t digits_start = pos_;
        while (is_digit(peek())) ++pos_;
        if (pos_ == digits_start) {
            fail_at_peek(kInvalidNumber);
            return false;
        }
    }
    if (peek() == 'e' || peek() == 'E') return skip_exponent();
    return true;
}

bool JsonScanner::skip_exponent() {
    ++pos_;
    if (peek() == '+' || peek() == '-') ++pos_;
    const int c = peek();
    if (c >= 0) ++pos_;
    if (!is_digit(c)) {
        fail_here(kInvalidNumber);
        return false;
    }
    while (is_digit(peek())) ++pos_;
    return true;
}

// ---- strings --------------------------------------------------------------

bool JsonScanner::scan_string(std::string& out) {
    out.clear();
    std::size_t run = pos_;
    for (;;) {
        while (pos_ < text_.size() && !ends_plain_run(text_[pos_])) ++pos_;
        if (pos_ >= text_.size()) {
            fail_here(kEofString);
            return false;
        }
        const char c = text_[pos_];
        if (c == '"') {
            out.append(text_.substr(run, pos_ - run));
            ++pos_;
            break;
        }
        if (c == '\\') {
            out.append(text_.substr(run, pos_ - run));
            ++pos_;
            if (!scan_escape(out)) return false;
            run = pos_;
            continue;
        }
        ++pos_;
        fail_here(kControlCharacter);
        return false;
    }
    if (!core::is_valid_utf8(out)) {
        fail_here(kInvalidCodePoint);
        return false;
    }
    return true;
}

std::optional<char32_t> JsonScanner::scan_hex4() {
    if (text_.size() - pos_ < 4) {
        pos_ = text_.size();
        fail_here(kEofString);
        return std::nullopt;
    }
    char32_t n = 0;
    for (int k = 0; k < 4; ++k) {
        const int v = hex_value(text_[pos_++]);
        if (v < 0) {
            fail_here(kInvalidEscape);
            return std::nullopt;
        }
        n = n * 16 + static_cast<char32_t>(v);
    }
    return n;
}

bool JsonScanner::scan_escape(std::string& out) {
    if (pos_ >= text_.size()) {
        fail_here(kEofString);
        return false;
    }
    switch (text_[pos_++]) {
        case '"': out += '"'; return true;
        case '\\': out += '\\'; return true;
        case '/': out += '/'; return true;
        case 'b': out += '\b'; return true;
        case 'f': out += '\f'; return true;
        case 'n': out += '\n'; return true;
        case 'r': out += '\r'; return true;
        case 't': out += '\t'; return true;
        case 'u': break;
        default: fail_here(kInvalidEscape); return false;
    }
    const auto lead = scan_hex4();
    if (!lead) return false;
    if (*lead >= 0xDC00 && *lead <= 0xDFFF) {
        fail_here(kLoneSurrogate);
        return false;
    }
    if (*lead < 0xD800 || *lead > 0xDBFF) {
        core::append_utf8(out, *lead);
        return true;
    }
    // A leading surrogate needs "\u" and a trailing one right after it.
    for (const char expected : {'\\', 'u'}) {
        if (pos_ >= text_.size()) {
            fail_here(kEofString);
            return false;
        }
        if (text_[pos_++] != expected) {
            fail_here(kUnexpectedEndOfHexEscape);
            return false;
        }
    }
    const auto trail = scan_hex4();
    if (!trail) return false;
    if (*trail < 0xDC00 || *trail > 0xDFFF) {
        fail_here(kLoneSurrogate);
        return false;
    }
    core::append_utf8(out, (((*lead - 0xD800) << 10) | (*trail - 0xDC00)) + 0x10000);
    return true;
}

bool JsonScanner::skip_string() {
    for (;;) {
        while (pos_ < text_.size() && !ends_plain_run(text_[pos_])) ++pos_;
        if (pos_ >= text_.size()) {
            fail_here(kEofString);
            return false;
        }
        const char c = text_[pos_];
        if (c == '"') {
            ++pos_;
            return true;
        }
        if (c != '\\') {
            fail_here(kControlCharacter);
            return false;
        }
        ++pos_;
        if (!skip_escape()) return false;
    }
}

bool JsonScanner::skip_escape() {
    if (pos_ >= text_.size()) {
        fail_here(kEofString);
        return false;
    }
    switch (text_[pos_++]) {
        case '"':
        case '\\':
        case '/':
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't': return true;
        case 'u': return scan_hex4().has_value();
        default: fail_here(kInvalidEscape); return false;
    }
}

}  // namespace vantorel::embed
