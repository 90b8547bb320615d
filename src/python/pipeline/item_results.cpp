#include "python/pipeline/item_results.hpp"

#include "core/format.hpp"
#include "embed/json/json_tolerant.hpp"
#include "embed/json/json_writer.hpp"
#include "python/runtime/gil.hpp"

namespace vantorel::python {
namespace {

constexpr Param kJson[] = {{"json"}};

// ---- JSON writing -------------------------------------------------------

void write_triple(embed::JsonWriter& w, const core::CartesianPoint& v) {
    w.begin_array();
    w.number(v.x);
    w.number(v.y);
    w.number(v.z);
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

// Each reader takes the fields of one object straight from the text: a member
// of another kind leaves its field at the default, and a repeated member is
// read again, so the last one counts.

std::string text_or_empty(embed::JsonReader& r) { return embed::string_or_none(r).value_or(std::string()); }

double number_or_zero(embed::JsonReader& r) { return embed::number_or_none(r).value_or(0.0); }

PathStep read_path_step(embed::JsonReader& r) {
    PathStep s;
    embed::for_each_member(r, [&](std::string_view key) {
        if (key == "id") {
            s.id = text_or_empty(r);
        } else if (key == "category") {
            s.category = text_or_empty(r);
        } else if (key == "cumulative_distance") {
            s.cumulative_distance = number_or_zero(r);
        } else if (key == "hop_distance") {
            s.hop_distance = number_or_zero(r);
        } else if (key == "bridge_strength") {
            s.bridge_strength = embed::number_or_none(r);
        } else {
            embed::discard_value(r);
        }
    });
    return s;
}

Nearest read_nearest(embed::JsonReader& r) {
    Nearest n;
    embed::for_each_member(r, [&](std::string_view key) {
        if (key == "id") {
            n.id = text_or_empty(r);
        } else if (key == "category") {
            n.category = text_or_empty(r);
        } else if (key == "distance") {
            n.distance = number_or_zero(r);
        } else if (key == "certainty") {
            n.certainty = number_or_zero(r);
        } else if (key == "intensity") {
            n.intensity = number_or_zero(r);
        } else {
            embed::discard_value(r);
        }
    });
    return n;
}

// The path, and whether the last "steps" member was an array.
std::pair<Path, bool> read_path(embed::JsonReader& r) {
    Path out;
    bool steps_found = false;
    embed::for_each_member(r, [&](std::string_view key) {
        if (key == "total_distance") {
            out.total_distance = number_or_zero(r);
        } else if (key == "steps") {
            out.steps.clear();
            steps_found = embed::for_each_element(r, [&](std::size_t) { out.steps.push_back(read_path_step(r)); });
        } else {
            embed::discard_value(r);
        }
    });
    return {std::move(out), steps_found};
}

// Pairs [name, count] in order; any other item is dropped.
std::vector<std::pair<std::string, std::uint64_t>> read_top_categories(embed::JsonReader& r) {
    std::vector<std::pair<std::string, std::uint64_t>> out;
    embed::for_each_element(r, [&](std::size_t) {
        std::optional<std::string> name;
        std::optional<std::uint64_t> n;
        embed::for_each_element(r, [&](std::size_t i) {
            if (i == 0) {
                name = embed::string_or_none(r);
            } else if (i == 1) {
                n = embed::count_or_none(r);
            } else {
                embed::discard_value(r);
            }
        });
        if (name && n) out.emplace_back(std::move(*name), *n);
    });
    return out;
}

Glob read_glob(embed::JsonReader& r) {
    Glob out;
    embed::for_each_member(r, [&](std::string_view key) {
        if (key == "id") {
            out.id = embed::count_or_none(r).value_or(0);
        } else if (key == "centroid") {
            out.centroid = embed::triple_or_zeros(r);
        } else if (key == "member_count") {
            out.member_count = embed::count_or_none(r).value_or(0);
        } else if (key == "radius") {
            out.radius = number_or_zero(r);
        } else if (key == "top_categories") {
            out.top_categories = read_top_categories(r);
        } else {
            embed::discard_value(r);
        }
    });
    return out;
}

Manifold read_manifold(embed::JsonReader& r) {
    Manifold out;
    embed::for_each_member(r, [&](std::string_view key) {
        if (key == "centroid") {
            out.centroid = embed::triple_or_zeros(r);
        } else if (key == "normal") {
            out.normal = embed::triple_or_zeros(r);
        } else if (key == "variance_ratio") {
            out.variance_ratio = number_or_zero(r);
        } else {
            embed::discard_value(r);
        }
    });
    return out;
}

// The `json` argument read by `read`; a malformed text raises ValueError
// before any field is judged.
template <auto read>
auto from_json_text(const Args<kJson>& a) {
    return with_interrupts([text = a.convert<"json">(to_string_view)] {
        embed::JsonReader r(text);
        auto value = read(r);
        r.finish();
        if (!r.ok()) raise_value_error(r.error().message());
        return value;
    });
}

Path path_from_json_text(const Args<kJson>& a) {
    auto [path, steps_found] = from_json_text<read_path>(a);
    if (!steps_found) raise_value_error("missing 'steps' array");
    return path;
}

// ---- Python members ------------------------------------------------------

Ref triple_list(const core::CartesianPoint& v) {
    Ref list = new_list(3);
    set_item(list, 0, to_py(v.x));
    set_item(list, 1, to_py(v.y));
    set_item(list, 2, to_py(v.z));
    return list;
}

constexpr Params kNearestFromJson{"NearestHit", "from_json", kJson};
constexpr Params kPathFromJson{"PathResult", "from_json", kJson};
constexpr Params kStepFromJson{"PathStep", "from_json", kJson};
constexpr Params kGlobFromJson{"GlobInfo", "from_json", kJson};
constexpr Params kManifoldFromJson{"ManifoldInfo", "from_json", kJson};

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
    static Class<Nearest> cls("NearestHit");
    static Class<Nearest>& described =
        cls.getter<[](const Nearest& v) { return to_py(v.id); }>("id")
            .getter<[](const Nearest& v) { return to_py(v.category); }>("category")
            .getter<[](const Nearest& v) { return to_py(v.distance); }>("distance")
            .getter<[](const Nearest& v) { return to_py(v.certainty); }>("certainty")
            .getter<[](const Nearest& v) { return to_py(v.intensity); }>("intensity")
            .method<to_json_method<Nearest>>("to_json")
            .static_method<[](const Args<kJson>& a) { return nearest_hit_class().make(from_json_text<read_nearest>(a)); },
                           kNearestFromJson>()
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
    static Class<Path> cls("PathResult");
    static Class<Path>& described =
        cls.getter<[](const Path& v) { return to_py(v.total_distance); }>("total_distance")
            .getter<[](const Path& v) { return to_list(path_step_class(), v.steps); }>("steps")
            .method<to_json_method<Path>>("to_json")
            .static_method<[](const Args<kJson>& a) { return path_result_class().make(path_from_json_text(a)); },
                           kPathFromJson>()
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
    static Class<PathStep> cls("PathStep");
    static Class<PathStep>& described =
        cls.getter<[](const PathStep& v) { return to_py(v.id); }>("id")
            .getter<[](const PathStep& v) { return to_py(v.category); }>("category")
            .getter<[](const PathStep& v) { return to_py(v.cumulative_distance); }>("cumulative_distance")
            .getter<[](const PathStep& v) { return to_py(v.hop_distance); }>("hop_distance")
            .getter<[](const PathStep& v) { return v.bridge_strength ? to_py(*v.bridge_strength) : none(); }>(
                "bridge_strength")
            .method<to_json_method<PathStep>>("to_json")
            .static_method<[](const Args<kJson>& a) { return path_step_class().make(from_json_text<read_path_step>(a)); },
                           kStepFromJson>()
            .repr<[](const PathStep& v) {
                return core::format("PathStep(id={:?}, category={:?}, cumulative_distance={:.4}, hop={:.4})", v.id,
                                    v.category, v.cumulative_distance, v.hop_distance);
            }>()
            .equality<equal>();
    return described;
}

Class<Glob>& glob_info_class() {
    static Class<Glob> cls("GlobInfo");
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
            .method<to_json_method<Glob>>("to_json")
            .static_method<[](const Args<kJson>& a) { return glob_info_class().make(from_json_text<read_glob>(a)); },
                           kGlobFromJson>()
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
    static Class<Manifold> cls("ManifoldInfo");
    static Class<Manifold>& described =
        cls.getter<[](const Manifold& v) { return triple_list(v.centroid); }>("centroid")
            .getter<[](const Manifold& v) { return triple_list(v.normal); }>("normal")
            .getter<[](const Manifold& v) { return to_py(v.variance_ratio); }>("variance_ratio")
            .method<to_json_method<Manifold>>("to_json")
            .static_method<[](const Args<kJson>& a) { return manifold_info_class().make(from_json_text<read_manifold>(a)); },
                           kManifoldFromJson>()
            .repr<[](const Manifold& v) { return core::format("ManifoldInfo(variance_ratio={:.4})", v.variance_ratio); }>()
            .equality<[](const Manifold& a, const Manifold& b) {
                return a.centroid == b.centroid && a.normal == b.normal && a.variance_ratio == b.variance_ratio;
            }>();
    return described;
}

}  // namespace vantorel::python
