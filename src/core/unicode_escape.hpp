#pragma once

#include <span>

namespace vantorel::core {

// A closed range of code points.
struct CodeRange {
    char32_t first;
    char32_t last;
};

// The code points that the quoted form writes as \u{hex}, ascending and
// disjoint; generated from the Unicode character database
// (scripts/generate_unicode_escapes.py).
std::span<const CodeRange> unicode_escape_ranges() noexcept;

// Whether a code point shows as \u{hex} in the quoted form: it is not
// printable (a control or format character, a surrogate, private use,
// unassigned, a separator other than the ASCII space, or beyond U+10FFFF),
// or it extends the grapheme before it (combining marks), which would
// otherwise merge into the quote or the character before it.
bool needs_unicode_escape(char32_t cp) noexcept;

}  // namespace vantorel::core
