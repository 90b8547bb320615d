#pragma once

#include <string_view>

#include <nlohmann/json.hpp>

#include "core/expected.hpp"
#include "embed/json/json_error.hpp"
#include "embed/json/json_reader.hpp"

namespace vantorel::embed {

// One JSON value as a tree. Objects keep their keys in order of first
// appearance, a repeated key holding its last value; integers that fit 64 bits
// stay integers (unsigned when non-negative, "-0" included), every other
// number is a double.
nlohmann::ordered_json read_value(JsonReader& r);

// A whole JSON text as a tree: white space may surround the value, nothing else.
core::Expected<nlohmann::ordered_json, JsonError> parse_value(std::string_view text);

}  // namespace vantorel::embed
