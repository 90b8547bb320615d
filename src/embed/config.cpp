#include "embed/config.hpp"

#include <algorithm>

#include "core/invariant.hpp"
#include "embed/json/json_record.hpp"

namespace vantorel::embed {

std::string_view projection_kind_name(ProjectionKind kind) {
    const auto index = static_cast<std::size_t>(kind);
    core::check_index(index, kProjectionKindNames.size());
    return kProjectionKindNames[index];
}

std::optional<ProjectionKind> projection_kind_from_name(std::string_view name) {
    const auto it = std::find(kProjectionKindNames.begin(), kProjectionKindNames.end(), name);
    if (it == kProjectionKindNames.end()) return std::nullopt;
    return static_cast<ProjectionKind>(it - kProjectionKindNames.begin());
}

void read_json(JsonReader& r, ProjectionKind& kind) {
    kind = static_cast<ProjectionKind>(r.read_unit_variant(kProjectionKindNames));
}

void write_json(JsonWriter& w, ProjectionKind kind) { w.string(projection_kind_name(kind)); }

std::string PipelineConfig::to_json() const { return write_json_text(*this); }

core::Expected<PipelineConfig, JsonError> PipelineConfig::from_json(std::string_view text) {
    return read_json_text<PipelineConfig>(text);
}

}  // namespace vantorel::embed
