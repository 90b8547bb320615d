#include "embed/json/json_writer.hpp"

#include <array>
#include <charconv>
#include <cmath>

#include "core/invariant.hpp"

namespace vantorel::embed {
namespace {

template <class Int>
void append_int(std::string& out, Int v) {
    std::array<char, 24> buf;
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    out.append(buf.data(), res.ptr);
}

}  // namespace

void append_json_float(std::string& out, double v) {
    if (std::signbit(v)) out += '-';
    if (v == 0.0) {
        out += "0.0";
        return;
    }
    // The shortest round-trip digits come from the scientific rendering:
    // "d[.ddd]e±XX" with value d.ddd × 10^XX.
    std::array<char, 40> buf;
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), std::fabs(v), std::chars_format::scientific);
    if (res.ec != std::errc{}) core::stop("float rendering overflowed its buffer");
    const std::string_view sci(buf.data(), static_cast<std::size_t>(res.ptr - buf.data()));
    const auto e = sci.find('e');
    std::string digits(1, sci[0]);
    if (e > 1) digits.append(sci.substr(2, e - 2));
    int exp10 = 0;
    const auto exp_text = sci.substr(sci[e + 1] == '+' ? e + 2 : e + 1);
    std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exp10);

    const int length = static_cast<int>(digits.size());
    const int point = exp10 + 1;  // digits before the decimal point
    const auto len = static_cast<std::size_t>(length);
    if (point >= length && point <= 16) {
        out += digits;
        out.append(static_cast<std::size_t>(point - length), '0');
        out += ".0";
    } else if (point > 0 && point <= 16) {
        const auto p = static_cast<std::size_t>(point);
        out.append(digits, 0, p);
        out += '.';
        out.append(digits, p, len - p);
    } else if (point > -5 && point <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-point), '0');
        out += digits;
    } else {
        out += digits[0];
        if (length > 1) {
            out += '.';
            out.append(digits, 1, len - 1);
        }
        out += 'e';
        append_int(out, point - 1);
    }
}

void append_json_number(std::string& out, double v) {
    if (std::isfinite(v)) {
        append_json_float(out, v);
    } else {
        out += "null";
    }
}

void append_json_string(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; continue;
            case '\\': out += "\\\\"; continue;
            case '\b': out += "\\b"; continue;
            case '\f': out += "\\f"; continue;
            case '\n': out += "\\n"; continue;
            case '\r': out += "\\r"; continue;
            case '\t': out += "\\t"; continue;
            default: break;
        }
        if (b < 0x20) {
            out += "\\u00";
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
}

void JsonWriter::separate() {
    if (need_comma_) out_ += ',';
}

void JsonWriter::begin_object() {
    separate();
    out_ += '{';
    need_comma_ = false;
}

void JsonWriter::end_object() {
    out_ += '}';
    need_comma_ = true;
}

void JsonWriter::key(std::string_view name) {
    separate();
    append_json_string(out_, name);
    out_ += ':';
    need_comma_ = false;
}

void JsonWriter::begin_array() {
    separate();
    out_ += '[';
    need_comma_ = false;
}

void JsonWriter::end_array() {
    out_ += ']';
    need_comma_ = true;
}

void JsonWriter::string(std::string_view text) {
    separate();
    append_json_string(out_, text);
    need_comma_ = true;
}

void JsonWriter::number(double v) {
    separate();
    append_json_number(out_, v);
    need_comma_ = true;
}

void JsonWriter::integer(std::uint64_t v) {
    separate();
    append_int(out_, v);
    need_comma_ = true;
}

void JsonWriter::boolean(bool v) {
    separate();
    out_ += v ? "true" : "false";
    need_comma_ = true;
}

void JsonWriter::null() {
    separate();
    out_ += "null";
    need_comma_ = true;
}

}  // namespace vantorel::embed
