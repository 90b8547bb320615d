#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/types.hpp"

namespace vantorel::embed::viz {

// A JSON string that can sit inside an inline script: the escapes of RFC 8259,
// and also <, >, & and U+2028/U+2029 as \u escapes, so that no text can close
// the script element or break the statement it is part of.
void append_script_json_string(std::string& out, std::string_view text);

// The page's data object as compact JSON:
// {"evr":…,"points":[{"x":…,"y":…,"z":…,"r":…,"theta":…,"phi":…,"cat":…,"label":…},…]}
// x, y, z and evr with 6 decimals, r, theta and phi with 4. One point per
// index present in all three of categories, cartesian and spherical; a point
// without a label (none given, or the list too short) gets "".
std::string build_data_json(std::span<const std::string> categories, std::span<const core::CartesianPoint> cartesian,
                            std::span<const core::SphericalPoint> spherical,
                            std::optional<std::span<const std::string>> labels, double evr);

}  // namespace vantorel::embed::viz
