#include "embed/json/json_tolerant.hpp"

#include <variant>

namespace vantorel::embed {

void discard_value(JsonReader& r) {
    switch (r.peek()) {
        case JsonKind::Null: r.read_null(); return;
        case JsonKind::Bool: r.read_bool(); return;
        case JsonKind::Number: r.read_number(); return;
        case JsonKind::String: r.read_string(); return;
        case JsonKind::Array:
            if (!r.begin_array("a sequence")) return;
            while (r.next_element()) discard_value(r);
            r.end_array();
            return;
        case JsonKind::Object:
            if (!r.begin_object("a map")) return;
            while (r.next_key()) discard_value(r);
            r.end_object();
            return;
        case JsonKind::Invalid:
        case JsonKind::End:
            // Skipping reports what stands there: nothing, or no value.
            r.skip_value();
            return;
    }
}

std::optional<std::string> string_or_none(JsonReader& r) {
    if (r.peek() == JsonKind::String) return r.read_string();
    discard_value(r);
    return std::nullopt;
}

std::optional<double> number_or_none(JsonReader& r) {
    if (r.peek() != JsonKind::Number) {
        discard_value(r);
        return std::nullopt;
    }
    return std::visit([](auto v) { return static_cast<double>(v); }, r.read_number());
}

std::optional<std::uint64_t> count_or_none(JsonReader& r) {
    if (r.peek() != JsonKind::Number) {
        discard_value(r);
        return std::nullopt;
    }
    const JsonNumber n = r.read_number();
    if (const auto* u = std::get_if<std::uint64_t>(&n)) return *u;
    return std::nullopt;
}

core::CartesianPoint triple_or_zeros(JsonReader& r) {
    core::CartesianPoint out{};
    double* const slots[3] = {&out.x, &out.y, &out.z};
    std::size_t count = 0;
    for_each_element(r, [&](std::size_t i) {
        if (i < 3) {
            *slots[i] = number_or_none(r).value_or(0.0);
        } else {
            discard_value(r);
        }
        ++count;
    });
    if (count < 3) out = {};
    return out;
}

}  // namespace vantorel::embed
