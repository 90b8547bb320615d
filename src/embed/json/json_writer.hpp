#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantorel::embed {

// A finite double in the shortest decimal that reads back to the same value:
// plain notation with ".0" kept for integral values while the decimal point
// lies within 16 digits (20.0, 0.001234), exponent form beyond (1e16, 1.5e-7).
void append_json_float(std::string& out, double v);

// A JSON number for a double; null for NaN and infinities, which JSON cannot hold.
void append_json_number(std::string& out, double v);

// A JSON string: quote, backslash and control characters escaped (\b \f \n \r \t,
// others as \u00xx); every other byte written as is.
void append_json_string(std::string& out, std::string_view text);

// Compact JSON text (no white space), written front to back. The caller keeps
// the nesting well formed; the writer places the commas and colons.
class JsonWriter {
public:
    void begin_object();
    void end_object();
    void key(std::string_view name);
    void begin_array();
    void end_array();

    void string(std::string_view text);
    void number(double v);
    void integer(std::uint64_t v);
    void boolean(bool v);
    void null();

    [[nodiscard]] const std::string& text() const noexcept { return out_; }
    [[nodiscard]] std::string take() noexcept { return std::move(out_); }

private:
    void separate();

    std::string out_;
    bool need_comma_ = false;
};

}  // namespace vantorel::embed
