#include "embed/viz/viz_data.hpp"

#include <algorithm>

#include "core/format.hpp"

namespace vantorel::embed::viz {
namespace {

constexpr char kHex[] = "0123456789abcdef";

void append_u_escape(std::string& out, unsigned code) {
    out += "\\u";
    out += kHex[(code >> 12) & 0xF];
    out += kHex[(code >> 8) & 0xF];
    out += kHex[(code >> 4) & 0xF];
    out += kHex[code & 0xF];
}

// The two-character escape of c, or nullptr when it has none.
const char* short_escape(char c) noexcept {
    switch (c) {
        case '"': return "\\\"";
        case '\\': return "\\\\";
        case '\b': return "\\b";
        case '\f': return "\\f";
        case '\n': return "\\n";
        case '\r': return "\\r";
        case '\t': return "\\t";
        default: return nullptr;
    }
}

bool is_line_separator_at(std::string_view text, std::size_t i) noexcept {
    // U+2028 and U+2029 are E2 80 A8 and E2 80 A9 in UTF-8.
    return i + 2 < text.size() && text[i] == '\xE2' && text[i + 1] == '\x80' &&
           (text[i + 2] == '\xA8' || text[i + 2] == '\xA9');
}

void append_point_number(std::string& out, const char* key, double v, int decimals) {
    out += key;
    core::append_fixed(out, v, decimals);
}

}  // namespace

void append_script_json_string(std::string& out, std::string_view text) {
    out += '"';
    std::size_t run = 0;  // start of the pending run of bytes copied unchanged
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto b = static_cast<unsigned char>(c);
        const bool plain = b >= 0x20 && c != '"' && c != '\\' && c != '<' && c != '>' && c != '&' && c != '\xE2';
        if (plain) continue;
        if (c == '\xE2' && !is_line_separator_at(text, i)) continue;
        out.append(text, run, i - run);
        if (const char* e = short_escape(c)) {
            out += e;
        } else if (c == '\xE2') {
            append_u_escape(out, text[i + 2] == '\xA8' ? 0x2028U : 0x2029U);
            i += 2;
        } else {
            append_u_escape(out, b);
        }
        run = i + 1;
    }
    out.append(text, run, text.size() - run);
    out += '"';
}

std::string build_data_json(std::span<const std::string> categories, std::span<const core::CartesianPoint> cartesian,
                            std::span<const core::SphericalPoint> spherical,
                            std::optional<std::span<const std::string>> labels, double evr) {
    const std::size_t n = std::min({categories.size(), cartesian.size(), spherical.size()});
    std::string out;
    out.reserve(cartesian.size() * 120 + 256);
    out += "{\"evr\":";
    core::append_fixed(out, evr, 6);
    out += ",\"points\":[";
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) out += ',';
        append_point_number(out, "{\"x\":", cartesian[i].x, 6);
        append_point_number(out, ",\"y\":", cartesian[i].y, 6);
        append_point_number(out, ",\"z\":", cartesian[i].z, 6);
        append_point_number(out, ",\"r\":", spherical[i].r, 4);
        append_point_number(out, ",\"theta\":", spherical[i].theta, 4);
        append_point_number(out, ",\"phi\":", spherical[i].phi, 4);
        out += ",\"cat\":";
        append_script_json_string(out, categories[i]);
        out += ",\"label\":";
        append_script_json_string(out, labels && i < labels->size() ? std::string_view((*labels)[i]) : std::string_view());
        out += '}';
    }
    out += "]}";
    return out;
}

}  // namespace vantorel::embed::viz
