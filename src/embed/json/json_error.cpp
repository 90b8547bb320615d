#include "embed/json/json_error.hpp"

#include <cmath>

#include "core/format.hpp"
#include "embed/json/json_writer.hpp"

namespace vantorel::embed {

std::string JsonError::message() const {
    return core::format("{} at line {} column {}", description, line, column);
}

namespace json_message {

std::string invalid_type(std::string_view found, std::string_view expected) {
    return core::format("invalid type: {}, expected {}", found, expected);
}

std::string invalid_value(std::string_view found, std::string_view expected) {
    return core::format("invalid value: {}, expected {}", found, expected);
}

std::string invalid_length(std::size_t length, std::string_view expected) {
    return core::format("invalid length {}, expected {}", length, expected);
}

std::string missing_field(std::string_view field) { return core::format("missing field `{}`", field); }

std::string duplicate_field(std::string_view field) { return core::format("duplicate field `{}`", field); }

std::string unknown_variant(std::string_view variant, std::span<const std::string_view> expected) {
    if (expected.empty()) return core::format("unknown variant `{}`, there are no variants", variant);
    std::string list;
    if (expected.size() == 1) {
        list = core::format("`{}`", expected[0]);
    } else if (expected.size() == 2) {
        list = core::format("`{}` or `{}`", expected[0], expected[1]);
    } else {
        list = "one of ";
        for (std::size_t i = 0; i < expected.size(); ++i) {
            if (i > 0) list += ", ";
            list += core::format("`{}`", expected[i]);
        }
    }
    return core::format("unknown variant `{}`, expected {}", variant, list);
}

std::string boolean(bool v) { return v ? "boolean `true`" : "boolean `false`"; }

std::string integer(std::uint64_t v) { return core::format("integer `{}`", v); }

std::string integer(std::int64_t v) { return core::format("integer `{}`", v); }

std::string floating(double v) {
    // JSON cannot hold a non-finite number, but readers of other forms can meet one.
    std::string out = "floating point `";
    if (std::isfinite(v)) {
        append_json_float(out, v);
    } else {
        core::append_float(out, v);
    }
    out += '`';
    return out;
}

std::string string(std::string_view v) { return "string " + core::quoted(v); }

}  // namespace json_message

}  // namespace vantorel::embed
