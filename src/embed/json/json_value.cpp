#include "embed/json/json_value.hpp"

#include <variant>

namespace vantorel::embed {

nlohmann::ordered_json read_value(JsonReader& r) {
    switch (r.peek()) {
        case JsonKind::Null: r.read_null(); return nullptr;
        case JsonKind::Bool: return r.read_bool();
        case JsonKind::Number:
            return std::visit([](auto v) { return nlohmann::ordered_json(v); }, r.read_number());
        case JsonKind::String: return r.read_string();
        case JsonKind::Array: {
            auto array = nlohmann::ordered_json::array();
            if (!r.begin_array("a sequence")) return array;
            while (r.next_element()) array.push_back(read_value(r));
            r.end_array();
            return array;
        }
        case JsonKind::Object: {
            auto object = nlohmann::ordered_json::object();
            if (!r.begin_object("a map")) return object;
            while (auto key = r.next_key()) object[*key] = read_value(r);
            r.end_object();
            return object;
        }
        case JsonKind::Invalid:
        case JsonKind::End:
            // Skipping reports what stands there: nothing, or no value.
            r.skip_value();
            return nullptr;
    }
    return nullptr;
}

core::Expected<nlohmann::ordered_json, JsonError> parse_value(std::string_view text) {
    JsonReader r(text);
    auto value = read_value(r);
    r.finish();
    if (!r.ok()) return core::Unexpected{r.error()};
    return value;
}

}  // namespace vantorel::embed
