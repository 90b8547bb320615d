#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/types.hpp"
#include "embed/json/json_reader.hpp"

namespace vantorel::embed {

// Tolerant reads straight from the text, for readers that take a default
// wherever a value is of another kind. Every value, taken or not, is read as
// strictly as the tree reader reads it (decoded strings, numbers in range,
// the nesting limit), so a text fails with the same error at the same place
// whichever reader meets it, and no tree is built on the way.

// Reads one value and drops it.
void discard_value(JsonReader& r);

// A string, or nothing for any other value.
std::optional<std::string> string_or_none(JsonReader& r);
// Any number as a double (integers to the nearest double), or nothing.
std::optional<double> number_or_none(JsonReader& r);
// A non-negative integer written without fraction or exponent that fits 64
// bits ("-0" included), or nothing.
std::optional<std::uint64_t> count_or_none(JsonReader& r);
// The first three items of an array of at least three, each a number or 0.0;
// zeros for anything else.
core::CartesianPoint triple_or_zeros(JsonReader& r);

// Calls `member(key)` for each member of an object, in text order; `member`
// reads the value or discards it. Any other value is discarded; returns
// whether it was an object.
template <class F>
bool for_each_member(JsonReader& r, F&& member) {
    if (r.peek() != JsonKind::Object) {
        discard_value(r);
        return false;
    }
    if (!r.begin_object("a map")) return true;
    while (auto key = r.next_key()) member(std::string_view(*key));
    r.end_object();
    return true;
}

// Calls `element(index)` for each element of an array; likewise.
template <class F>
bool for_each_element(JsonReader& r, F&& element) {
    if (r.peek() != JsonKind::Array) {
        discard_value(r);
        return false;
    }
    if (!r.begin_array("a sequence")) return true;
    for (std::size_t i = 0; r.next_element(); ++i) element(i);
    r.end_array();
    return true;
}

}  // namespace vantorel::embed
