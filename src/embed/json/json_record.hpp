#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/expected.hpp"
#include "core/invariant.hpp"
#include "embed/json/json_error.hpp"
#include "embed/json/json_reader.hpp"
#include "embed/json/json_writer.hpp"

namespace vantorel::embed {

// A record type that describes its fields once, for every reader and writer:
//   static constexpr std::string_view kRecordName;   // "PipelineConfig"
//   static constexpr bool kFieldsHaveDefaults;       // absent fields keep their value
//   template <class Self, class F> static void fields(Self& self, F&& f);
// where `fields` calls f(name, self.member) for each field in declaration order.
template <class T>
concept JsonRecord = requires {
    { T::kRecordName } -> std::convertible_to<std::string_view>;
    { T::kFieldsHaveDefaults } -> std::convertible_to<bool>;
};

// Reading: one overload per field type; enumerations add theirs next to their type.
inline void read_json(JsonReader& r, std::uint64_t& v) { v = r.read_u64(); }
inline void read_json(JsonReader& r, double& v) { v = r.read_f64(); }
inline void read_json(JsonReader& r, std::string& v) { v = r.read_string(); }
inline void read_json(JsonReader& r, bool& v) { v = r.read_bool(); }
template <class T>
void read_json(JsonReader& r, std::vector<T>& v);
template <JsonRecord T>
void read_json(JsonReader& r, T& record);

// Writing, likewise.
inline void write_json(JsonWriter& w, std::uint64_t v) { w.integer(v); }
inline void write_json(JsonWriter& w, double v) { w.number(v); }
inline void write_json(JsonWriter& w, const std::string& v) { w.string(v); }
inline void write_json(JsonWriter& w, bool v) { w.boolean(v); }
template <class T>
void write_json(JsonWriter& w, const std::vector<T>& v);
template <JsonRecord T>
void write_json(JsonWriter& w, const T& record);

template <JsonRecord T>
std::size_t record_field_count() {
    T probe{};
    std::size_t n = 0;
    T::fields(probe, [&n](std::string_view, auto&) { ++n; });
    return n;
}

template <class T>
void read_json(JsonReader& r, std::vector<T>& v) {
    v.clear();
    if (!r.begin_array("a sequence")) return;
    while (r.next_element()) {
        T item{};
        read_json(r, item);
        v.push_back(std::move(item));
    }
    r.end_array();
}

// An object with the fields in any order (unknown keys skipped, a repeated
// field refused) or an array of the fields in declaration order. A field not
// given keeps its value when the record has defaults, else it is missing.
template <JsonRecord T>
void read_json(JsonReader& r, T& record) {
    const auto form = r.begin_record(T::kRecordName);
    if (form == JsonReader::Form::Object) {
        std::uint64_t seen = 0;
        while (auto key = r.next_key()) {
            std::size_t index = 0;
            bool known = false;
            T::fields(record, [&](std::string_view name, auto& field) {
                const std::size_t i = index++;
                if (known || name != *key) return;
                known = true;
                core::check_index(i, 64);
                if ((seen >> i) & 1u) {
                    r.fail_in_object(json_message::duplicate_field(name));
                    return;
                }
                seen |= std::uint64_t{1} << i;
                read_json(r, field);
            });
            if (!known) r.skip_value();
        }
        if constexpr (!T::kFieldsHaveDefaults) {
            std::size_t index = 0;
            std::string_view missing;
            T::fields(record, [&](std::string_view name, auto&) {
                if (missing.empty() && !((seen >> index) & 1u)) missing = name;
                ++index;
            });
            if (!missing.empty() && r.ok()) r.fail_in_object(json_message::missing_field(missing));
        }
        r.end_object();
    } else if (form == JsonReader::Form::Array) {
        std::size_t index = 0;
        T::fields(record, [&](std::string_view, auto& field) {
            if (!r.ok()) return;
            if (r.next_element()) {
                read_json(r, field);
            } else if (r.ok() && !T::kFieldsHaveDefaults) {
                const auto expected = "struct " + std::string(T::kRecordName) + " with " +
                                      std::to_string(record_field_count<T>()) + " elements";
                r.fail_in_array(json_message::invalid_length(index, expected));
            }
            ++index;
        });
        r.end_array();
    }
}

template <class T>
void write_json(JsonWriter& w, const std::vector<T>& v) {
    w.begin_array();
    for (const auto& item : v) write_json(w, item);
    w.end_array();
}

// Compact object of the fields in declaration order.
template <JsonRecord T>
void write_json(JsonWriter& w, const T& record) {
    w.begin_object();
    T::fields(record, [&w](std::string_view name, const auto& field) {
        w.key(name);
        write_json(w, field);
    });
    w.end_object();
}

// One whole JSON text as a value of T: white space may surround it, nothing else.
template <class T>
core::Expected<T, JsonError> read_json_text(std::string_view text) {
    JsonReader r(text);
    T value{};
    read_json(r, value);
    r.finish();
    if (!r.ok()) return core::Unexpected{r.error()};
    return value;
}

template <class T>
std::string write_json_text(const T& value) {
    JsonWriter w;
    write_json(w, value);
    return w.take();
}

}  // namespace vantorel::embed
