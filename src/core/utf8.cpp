#include "core/utf8.hpp"

#include <cstdint>
#include <cstring>

namespace vantorel::core {

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

char32_t decode_utf8(std::string_view text, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    int extra = 0;
    char32_t cp = b0;
    if (b0 >= 0xF0) {
        extra = 3;
        cp = b0 & 0x07u;
    } else if (b0 >= 0xE0) {
        extra = 2;
        cp = b0 & 0x0Fu;
    } else if (b0 >= 0xC0) {
        extra = 1;
        cp = b0 & 0x1Fu;
    }
    if (i + static_cast<std::size_t>(extra) >= text.size()) {
        ++i;
        return b0;
    }
    for (int k = 1; k <= extra; ++k) {
        cp = (cp << 6) | (static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]) & 0x3Fu);
    }
    i += static_cast<std::size_t>(extra) + 1;
    return cp;
}

namespace {

// A lead byte's sequence length (0 when it cannot lead) and the range its
// second byte must lie in, which rules out overlong forms, surrogates and
// code points above U+10FFFF.
struct Lead {
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
};

constexpr Lead lead_of(unsigned char b0) noexcept {
    if (b0 >= 0xC2 && b0 <= 0xDF) return {2};
    if (b0 == 0xE0) return {3, 0xA0};
    if (b0 == 0xED) return {3, 0x80, 0x9F};
    if (b0 >= 0xE1 && b0 <= 0xEF) return {3};
    if (b0 == 0xF0) return {4, 0x90};
    if (b0 == 0xF4) return {4, 0x80, 0x8F};
    if (b0 >= 0xF1 && b0 <= 0xF3) return {4};
    return {0};
}

// How many bytes of `text`, from its first one, belong to a well-formed
// start of one character (at most the character's length).
std::size_t well_formed_bytes(std::string_view text, const Lead& lead) noexcept {
    const std::size_t n = text.size() < lead.length ? text.size() : lead.length;
    std::size_t k = 1;
    for (; k < n; ++k) {
        const auto b = static_cast<unsigned char>(text[k]);
        const bool ok = k == 1 ? b >= lead.low && b <= lead.high : (b & 0xC0u) == 0x80u;
        if (!ok) break;
    }
    return k;
}

}  // namespace

std::size_t valid_utf8_prefix(std::string_view text) noexcept {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        // Runs of ASCII, the bulk of a store, eight bytes at a time.
        std::uint64_t word = 0;
        while (n - i >= sizeof word) {
            std::memcpy(&word, text.data() + i, sizeof word);
            if ((word & 0x8080808080808080u) != 0) break;
            i += sizeof word;
        }
        if (i == n) break;
        const auto b0 = static_cast<unsigned char>(text[i]);
        if (b0 < 0x80) {
            ++i;
            continue;
        }
        const Lead lead = lead_of(b0);
        if (lead.length == 0 || well_formed_bytes(text.substr(i), lead) != lead.length) return i;
        i += lead.length;
    }
    return n;
}

bool is_valid_utf8(std::string_view text) noexcept { return valid_utf8_prefix(text) == text.size(); }

bool is_cut_utf8_char(std::string_view bytes) noexcept {
    if (bytes.empty()) return false;
    const Lead lead = lead_of(static_cast<unsigned char>(bytes.front()));
    return bytes.size() < lead.length && well_formed_bytes(bytes, lead) == bytes.size();
}

}  // namespace vantorel::core
