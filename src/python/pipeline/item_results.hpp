#pragma once

// Classes of the item-level query answers: NearestHit, PathResult, PathStep,
// GlobInfo, ManifoldInfo. Each wraps an immutable engine record and adds
// equality, a repr, compact JSON and a tolerant JSON reader.
#include <string>
#include <vector>

#include "embed/pipeline/pipeline.hpp"
#include "python/runtime/classes.hpp"

namespace vantorel::python {

// The item answers travel to Python as the engine's own records.
using Nearest = embed::NearestResult;
using PathStep = embed::PipelinePathStep;
using Path = embed::PathResult;
using Glob = embed::GlobSummary;
using Manifold = embed::output::LocalManifold;

Class<Nearest>& nearest_hit_class();
Class<Path>& path_result_class();
Class<PathStep>& path_step_class();
Class<Glob>& glob_info_class();
Class<Manifold>& manifold_info_class();

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
