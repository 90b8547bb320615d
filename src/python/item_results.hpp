#pragma once

// Value classes of the item-level query answers: NearestHit, PathResult,
// PathStep, GlobInfo, ManifoldInfo. Each is an immutable value with
// equality, a repr, compact JSON and a tolerant JSON reader.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "embed/pipeline.hpp"
#include "python/runtime/classes.hpp"

namespace vantorel::python {

struct Nearest {
    std::string id;
    std::string category;
    double distance = 0.0;
    double certainty = 0.0;
    double intensity = 0.0;
};

struct PathStep {
    std::string id;
    std::string category;
    double cumulative_distance = 0.0;
    double hop_distance = 0.0;
    std::optional<double> bridge_strength;
};

struct Path {
    double total_distance = 0.0;
    std::vector<PathStep> steps;
};

struct Glob {
    std::uint64_t id = 0;
    std::array<double, 3> centroid{};
    std::uint64_t member_count = 0;
    double radius = 0.0;
    std::vector<std::pair<std::string, std::uint64_t>> top_categories;
};

struct Manifold {
    std::array<double, 3> centroid{};
    std::array<double, 3> normal{};
    double variance_ratio = 0.0;
};

Class<Nearest>& nearest_hit_class();
Class<Path>& path_result_class();
Class<PathStep>& path_step_class();
Class<Glob>& glob_info_class();
Class<Manifold>& manifold_info_class();

// Values from the engine's answers, in the engine's order.
std::vector<Nearest> to_nearest_hits(const std::vector<embed::NearestResult>& hits);
Path to_path(const embed::PathResult& path);
std::vector<Glob> to_glob_infos(const std::vector<embed::GlobSummary>& globs);
Manifold to_manifold(const embed::output::LocalManifold& manifold);

// Compact JSON objects with keys in ascending byte order, as `to_json` writes them.
std::string to_json(const Nearest& v);
std::string to_json(const Path& v);
std::string to_json(const PathStep& v);
std::string to_json(const Glob& v);
std::string to_json(const Manifold& v);

// A Python list of new instances of `cls`, one per value, in order.
template <class T>
Ref to_list(Class<T>& cls, std::vector<T> values) {
    Ref list = new_list(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) set_item(list, i, cls.make(std::move(values[i])));
    return list;
}

// "[" + each value's JSON + "]", joined by ",".
template <class T>
std::string to_json_array(const std::vector<T>& values) {
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) out += ',';
        out += to_json(values[i]);
    }
    out += ']';
    return out;
}

}  // namespace vantorel::python
