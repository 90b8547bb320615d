#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vantorel::core {

// Appends the UTF-8 encoding of one code point.
void append_utf8(std::string& out, char32_t cp);

// Decodes the code point at text[i] and advances i past it. Lenient: a
// truncated sequence decodes as its lead byte alone.
char32_t decode_utf8(std::string_view text, std::size_t& i);

// Strict check: shortest forms only, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view text) noexcept;

// The length of the longest prefix of `text` that passes the strict check.
std::size_t valid_utf8_prefix(std::string_view text) noexcept;

// Whether `bytes` are the first bytes of a character under the strict check,
// with at least its last byte missing: what remains of a character cut short.
bool is_cut_utf8_char(std::string_view bytes) noexcept;

}  // namespace vantorel::core
