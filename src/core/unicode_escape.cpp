#include "core/unicode_escape.hpp"

#include <algorithm>

namespace vantorel::core {

bool needs_unicode_escape(char32_t cp) noexcept {
    if (cp >= 0x20 && cp < 0x7F) return false;
    if (cp > 0x10FFFF) return true;
    const auto ranges = unicode_escape_ranges();
    // The last range that starts at or before cp.
    const auto after = std::upper_bound(ranges.begin(), ranges.end(), cp,
                                        [](char32_t c, const CodeRange& r) { return c < r.first; });
    return after != ranges.begin() && cp <= std::prev(after)->last;
}

}  // namespace vantorel::core
