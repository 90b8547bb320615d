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

}  // namespace vantorel::core
