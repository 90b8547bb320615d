#include "python/pipeline/item_results.hpp"

#include "core/format.hpp"
#include "embed/json/json_value.hpp"
#include "embed/json/json_writer.hpp"
#include "python/runtime/gil.hpp"

namespace vantorel::python {
namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kJsonNames[] = {"json"};

// ---- JSON writing -------------------------------------------------------

void write_triple(embed::JsonWriter& w, const std::array<double, 3>& v) {
    w.begin_array();
    for (const double x : v) w.number(x);
    w.end_array();
}

void write_path_step_brief(embed::JsonWriter& w, const PathStep& s) {
    w.begin_object();
    w.key("category");
    w.string(s.category);
    w.key("cumulative_distance");
    w.number(s.cumulative_distance);
    w.key("id");
    w.string(s.id);
    w.end_object();
}

// ---- tolerant JSON reading ---------------------------------------------

// The member `key` of an object, or null when absent or not an object.
const Json& member(const Json& v, const char* key) {
    static const Json null_value;
    if (!v.is_object()) return null_value;
    const auto it = v.find(key);
    return it == v.end() ? null_value : *it;
}

std::string text_or_empty(const Json& v) { return v.is_string() ? v.get<std::string>() : std::string(); }

std::optional<double> number(const Json& v) {
    if (v.is_number_float()) return v.get<double>();
    if (v.is_number_unsigned()) return static_cast<double>(v.get<std::uint64_t>());
    if (v.is_number_integer()) return static_cast<double>(v.get<std::int64_t>());
    return std::nullopt;
}

double number_or_zero(const Json& v) { return number(v).value_or(0.0); }

// A non-negative integer written without fraction or exponent that fits 64 bits.
std::optional<std::uint64_t> count(const Json& v) {
    if (v.is_number_unsigned()) return v.get<std::uint64_t>();
    if (v.is_number_integer() && v.get<std::int64_t>() >= 0) return static_cast<std::uint64_t>(v.get<std::int64_t>());
    return std::nullopt;
}

std::array<double, 3> triple(const Json& v) {
    std::array<double, 3> out{};
    if (v.is_array() && v.size() >= 3) {
        for (std::size_t i = 0; i < 3; ++i) out[i] = number_or_zero(v[i]);
    }
    return out;
}

PathStep read_path_step(const Json& v) {
    PathStep s;
    s.id = text_or_empty(member(v, "id"));
    s.category = text_or_empty(member(v, "category"));
    s.cumulative_distance = number_or_zero(member(v, "cumulative_distance"));
    s.hop_distance = number_or_zero(member(v, "hop_distance"));
    s.bridge_strength = number(member(v, "bridge_strength"));
    return s;
}

Json parse_or_raise(const Args& a) {
    const std::string_view text = a.convert(0, to_string_view);
    auto parsed = with_interrupts([text] { return embed::parse_value(text); });
    if (!parsed) raise_value_error(parsed.error().message());
    return std::move(parsed).value();
}

Nearest read_nearest(const Json& v) {
    Nearest n;
    n.id = text_or_empty(member(v, "id"));
    n.category = text_or_empty(member(v, "category"));
    n.distance = number_or_zero(member(v, "distance"));
    n.certainty = number_or_zero(member(v, "certainty"));
    n.intensity = number_or_zero(member(v, "intensity"));
    return n;
}

Path read_path(const Json& v) {
    const Json& steps = member(v, "steps");
    if (!steps.is_array()) raise_value_error("missing 'steps' array");
    Path out;
    out.total_distance = number_or_zero(member(v, "total_distance"));
    out.steps.reserve(steps.size());
    for (const Json& s : steps) out.steps.push_back(read_path_step(s));
    return out;
}

Glob read_glob(const Json& v) {
    Glob out;
    out.id = count(member(v, "id")).value_or(0);
    out.centroid = triple(member(v, "centroid"));
    out.member_count = count(member(v, "member_count")).value_or(0);
    out.radius = number_or_zero(member(v, "radius"));
    const Json& top = member(v, "top_categories");
    if (top.is_array()) {
        for (const Json& pair : top) {
            if (!pair.is_array() || pair.size() < 2 || !pair[0].is_string()) continue;
            if (const auto n = count(pair[1])) out.top_categories.emplace_back(pair[0].get<std::string>(), *n);
        }
    }
    return out;
}

Manifold read_manifold(const Json& v) {
    Manifold out;
    out.centroid = triple(member(v, "centroid"));
    out.normal = triple(member(v, "normal"));
    out.variance_ratio = number_or_zero(member(v, "variance_ratio"));
    return out;
}

// ---- Python members ------------------------------------------------------

Ref triple_list(const std::array<double, 3>& v) {
    Ref list = new_list(3);
    for (std::size_t i = 0; i < 3; ++i) set_item(list, i, to_py(v[i]));
    return list;
}

constexpr Params kNearestFromJson{"NearestHit", "from_json", kJsonNames, 1, 1};
constexpr Params kPathFromJson{"PathResult", "from_json", kJsonNames, 1, 1};
constexpr Params kStepFromJson{"PathStep", "from_json", kJsonNames, 1, 1};
constexpr Params kGlobFromJson{"GlobInfo", "from_json", kJsonNames, 1, 1};
constexpr Params kManifoldFromJson{"ManifoldInfo", "from_json", kJsonNames, 1, 1};

constexpr const char* kToJsonDoc = "to_json($self)\n--\n\n";
constexpr const char* kFromJsonDoc = "from_json(json)\n--\n\n";

template <class T>
Ref to_json_method(const T& v) {
    return to_py(to_json(v));
}

bool same(const std::optional<double>& a, const std::optional<double>& b) {
    return a.has_value() == b.has_value() && (!a || *a == *b);
}

bool equal(const PathStep& a, const PathStep& b) {
    return a.id == b.id && a.category == b.category && a.cumulative_distance == b.cumulative_distance &&
           a.hop_distance == b.hop_distance && same(a.bridge_strength, b.bridge_strength);
}

}  // namespace

std::string to_json(const Nearest& v) {
    embed::JsonWriter w;
    w.begin_object();
    w.key("category");
    w.string(v.category);
    w.key("certainty");
    w.number(v.certainty);
    w.key("distance");
    w.number(v.distance);
    w.key("id");
    w.string(v.id);
    w.key("intensity");
    w.number(v.intensity);
    w.end_object();
    return w.take();
}

std::string to_json(const Path& v) {
    embed::JsonWriter w;
    w.begin_object();
    w.key("steps");
    w.begin_array();
    for (const PathStep& s : v.steps) write_path_step_brief(w, s);
    w.end_array();
    w.key("total_distance");
    w.number(v.total_distance);
    w.end_object();
    return w.take();
}

std::string to_json(const PathStep& v) {
    embed::JsonWriter w;
    w.begin_object();
    w.key("bridge_strength");
    v.bridge_strength ? w.number(*v.bridge_strength) : w.null();
    w.key("category");
    w.string(v.category);
    w.key("cumulative_distance");
    w.number(v.cumulative_distance);
    w.key("hop_distance");
    w.number(v.hop_distance);
    w.key("id");
    w.string(v.id);
    w.end_object();
    return w.take();
}

std::string to_json(const Glob& v) {
    embed::JsonWriter w;
    w.begin_object();
    w.key("centroid");
    write_triple(w, v.centroid);
    w.key("id");
    w.integer(v.id);
    w.key("member_count");
    w.integer(v.member_count);
    w.key("radius");
    w.number(v.radius);
    w.key("top_categories");
    w.begin_array();
    for (const auto& [name, n] : v.top_categories) {
        w.begin_array();
        w.string(name);
        w.integer(n);
        w.end_array();
    }
    w.end_array();
    w.end_object();
    return w.take();
}

std::string to_json(const Manifold& v) {
    embed::JsonWriter w;
    w.begin_object();
    w.key("centroid");
    write_triple(w, v.centroid);
    w.key("normal");
    write_triple(w, v.normal);
    w.key("variance_ratio");
    w.number(v.variance_ratio);
    w.end_object();
    return w.take();
}

Class<Nearest>& nearest_hit_class() {
    static Class<Nearest> cls("NearestHit", nullptr);
    static Class<Nearest>& described =
        cls.getter<[](const Nearest& v) { return to_py(v.id); }>("id")
            .getter<[](const Nearest& v) { return to_py(v.category); }>("category")
            .getter<[](const Nearest& v) { return to_py(v.distance); }>("distance")
            .getter<[](const Nearest& v) { return to_py(v.certainty); }>("certainty")
            .getter<[](const Nearest& v) { return to_py(v.intensity); }>("intensity")
            .method<to_json_method<Nearest>>("to_json", kToJsonDoc)
            .static_method<[](const Args& a) { return nearest_hit_class().make(read_nearest(parse_or_raise(a))); },
                           kNearestFromJson>("from_json", kFromJsonDoc)
            .repr<[](const Nearest& v) {
                return core::format("NearestHit(id={:?}, category={:?}, distance={:.4})", v.id, v.category, v.distance);
            }>()
            .equality<[](const Nearest& a, const Nearest& b) {
                return a.id == b.id && a.category == b.category && a.distance == b.distance &&
                       a.certainty == b.certainty && a.intensity == b.intensity;
            }>();
    return described;
}

Class<Path>& path_result_class() {
    static Class<Path> cls("PathResult", nullptr);
    static Class<Path>& described =
        cls.getter<[](const Path& v) { return to_py(v.total_distance); }>("total_distance")
            .getter<[](const Path& v) { return to_list(path_step_class(), v.steps); }>("steps")
            .method<to_json_method<Path>>("to_json", kToJsonDoc)
            .static_method<[](const Args& a) { return path_result_class().make(read_path(parse_or_raise(a))); },
                           kPathFromJson>("from_json", kFromJsonDoc)
            .repr<[](const Path& v) {
                return core::format("PathResult(steps={}, total_distance={:.4})", v.steps.size(), v.total_distance);
            }>()
            .equality<[](const Path& a, const Path& b) {
                return a.total_distance == b.total_distance &&
                       std::equal(a.steps.begin(), a.steps.end(), b.steps.begin(), b.steps.end(), equal);
            }>();
    return described;
}

Class<PathStep>& path_step_class() {
    static Class<PathStep> cls("PathStep", nullptr);
    static Class<PathStep>& described =
        cls.getter<[](const PathStep& v) { return to_py(v.id); }>("id")
            .getter<[](const PathStep& v) { return to_py(v.category); }>("category")
            .getter<[](const PathStep& v) { return to_py(v.cumulative_distance); }>("cumulative_distance")
            .getter<[](const PathStep& v) { return to_py(v.hop_distance); }>("hop_distance")
            .getter<[](const PathStep& v) { return v.bridge_strength ? to_py(*v.bridge_strength) : none(); }>(
                "bridge_strength")
            .method<to_json_method<PathStep>>("to_json", kToJsonDoc)
            .static_method<[](const Args& a) { return path_step_class().make(read_path_step(parse_or_raise(a))); },
                           kStepFromJson>("from_json", kFromJsonDoc)
            .repr<[](const PathStep& v) {
                return core::format("PathStep(id={:?}, category={:?}, cumulative_distance={:.4}, hop={:.4})", v.id,
                                    v.category, v.cumulative_distance, v.hop_distance);
            }>()
            .equality<equal>();
    return described;
}

Class<Glob>& glob_info_class() {
    static Class<Glob> cls("GlobInfo", nullptr);
    static Class<Glob>& described =
        cls.getter<[](const Glob& v) { return to_py(v.id); }>("id")
            .getter<[](const Glob& v) { return triple_list(v.centroid); }>("centroid")
            .getter<[](const Glob& v) { return to_py(v.member_count); }>("member_count")
            .getter<[](const Glob& v) { return to_py(v.radius); }>("radius")
            .getter<[](const Glob& v) {
                Ref list = new_list(v.top_categories.size());
                for (std::size_t i = 0; i < v.top_categories.size(); ++i) {
                    Ref name = to_py(v.top_categories[i].first);
                    Ref n = to_py(v.top_categories[i].second);
                    set_item(list, i, Ref::steal(PyTuple_Pack(2, name.get(), n.get())));
                }
                return list;
            }>("top_categories")
            .method<to_json_method<Glob>>("to_json", kToJsonDoc)
            .static_method<[](const Args& a) { return glob_info_class().make(read_glob(parse_or_raise(a))); },
                           kGlobFromJson>("from_json", kFromJsonDoc)
            .repr<[](const Glob& v) {
                return core::format("GlobInfo(id={}, members={}, radius={:.4})", v.id, v.member_count, v.radius);
            }>()
            .equality<[](const Glob& a, const Glob& b) {
                return a.id == b.id && a.centroid == b.centroid && a.member_count == b.member_count &&
                       a.radius == b.radius && a.top_categories == b.top_categories;
            }>();
    return described;
}

Class<Manifold>& manifold_info_class() {
    static Class<Manifold> cls("ManifoldInfo", nullptr);
    static Class<Manifold>& described =
        cls.getter<[](const Manifold& v) { return triple_list(v.centroid); }>("centroid")
            .getter<[](const Manifold& v) { return triple_list(v.normal); }>("normal")
            .getter<[](const Manifold& v) { return to_py(v.variance_ratio); }>("variance_ratio")
            .method<to_json_method<Manifold>>("to_json", kToJsonDoc)
            .static_method<[](const Args& a) { return manifold_info_class().make(read_manifold(parse_or_raise(a))); },
                           kManifoldFromJson>("from_json", kFromJsonDoc)
            .repr<[](const Manifold& v) { return core::format("ManifoldInfo(variance_ratio={:.4})", v.variance_ratio); }>()
            .equality<[](const Manifold& a, const Manifold& b) {
                return a.centroid == b.centroid && a.normal == b.normal && a.variance_ratio == b.variance_ratio;
            }>();
    return described;
}

}  // namespace vantorel::python
