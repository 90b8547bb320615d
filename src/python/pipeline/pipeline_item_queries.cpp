// Pipeline.nearest, similar_above, concept_path, detect_globs, local_manifold
// and their _json twins.
#include "python/embedding_input.hpp"
#include "python/pipeline/item_results.hpp"
#include "python/pipeline/pipeline.hpp"

namespace vantorel::python {
namespace {

namespace q = embed::query;
namespace out = embed::output;

// Each query and its _json twin share one parameter list.
constexpr Param kNearestParams[] = {{"query"}, {"k", "5"}};
constexpr Param kSimilarParams[] = {{"query"}, {"min_cosine", "0.8"}};
constexpr Param kPathParams[] = {{"source_id"}, {"target_id"}, keyword_only("graph_k", "10"),
                                 keyword_only("query", "None")};
constexpr Param kGlobParams[] = {keyword_only("k", "None"), keyword_only("max_k", "10"), keyword_only("query", "None")};
constexpr Param kManifoldParams[] = {{"query"}, keyword_only("neighborhood_k", "10")};

constexpr Params kNearest{"Pipeline", "nearest", kNearestParams};
constexpr Params kNearestJson{"Pipeline", "nearest_json", kNearestParams};
constexpr Params kSimilar{"Pipeline", "similar_above", kSimilarParams};
constexpr Params kSimilarJson{"Pipeline", "similar_above_json", kSimilarParams};
constexpr Params kPath{"Pipeline", "concept_path", kPathParams};
constexpr Params kPathJson{"Pipeline", "concept_path_json", kPathParams};
constexpr Params kGlobs{"Pipeline", "detect_globs", kGlobParams};
constexpr Params kGlobsJson{"Pipeline", "detect_globs_json", kGlobParams};
constexpr Params kManifold{"Pipeline", "local_manifold", kManifoldParams};
constexpr Params kManifoldJson{"Pipeline", "local_manifold_json", kManifoldParams};

using NearestArgs = Args<kNearestParams>;
using SimilarArgs = Args<kSimilarParams>;
using PathArgs = Args<kPathParams>;
using GlobArgs = Args<kGlobParams>;
using ManifoldArgs = Args<kManifoldParams>;

// The converted query, checked against the pipeline's dimension.
std::vector<double> query_vector(const PyPipeline& p, PyObject* query) {
    std::vector<double> v = extract_embedding(query);
    check_query_dim(p.dimension, v.size());
    return v;
}

// An optional query: converted and checked when given, zeros otherwise.
template <class A>
std::vector<double> optional_query(const PyPipeline& p, const A& a) {
    if (const std::optional<PyObject*> query = a.template optional<"query">()) return query_vector(p, *query);
    return std::vector<double>(p.dimension, 0.0);
}

std::vector<Nearest> nearest(const PyPipeline& p, const NearestArgs& a) {
    const std::uint64_t k = a.u64<"k">();
    const auto v = query_vector(p, a.object<"query">());
    return run_query<out::Nearest>(p, q::Nearest{k}, v).hits;
}

std::vector<Nearest> similar_above(const PyPipeline& p, const SimilarArgs& a) {
    const double min_cosine = a.f64<"min_cosine">();
    const auto v = query_vector(p, a.object<"query">());
    return run_query<out::SimilarAbove>(p, q::SimilarAbove{min_cosine}, v).hits;
}

std::optional<Path> concept_path(const PyPipeline& p, const PathArgs& a) {
    const std::string_view source = a.convert<"source_id">(to_string_view);
    const std::string_view target = a.convert<"target_id">(to_string_view);
    const std::uint64_t graph_k = a.u64<"graph_k">();
    const auto v = optional_query(p, a);
    return run_query<out::ConceptPath>(p, q::ConceptPath{source, target, graph_k}, v).path;
}

std::vector<Glob> detect_globs(const PyPipeline& p, const GlobArgs& a) {
    const std::optional<std::uint64_t> k = a.optional<"k">(to_u64);
    const std::uint64_t max_k = a.u64<"max_k">();
    const auto v = optional_query(p, a);
    return run_query<out::Globs>(p, q::DetectGlobs{k, max_k}, v).globs;
}

Manifold local_manifold(const PyPipeline& p, const ManifoldArgs& a) {
    const std::uint64_t neighborhood_k = a.u64<"neighborhood_k">();
    const auto v = query_vector(p, a.object<"query">());
    return run_query<out::LocalManifold>(p, q::LocalManifold{neighborhood_k}, v);
}

Ref nearest_objects(const PyPipeline& p, const NearestArgs& a) { return to_list(nearest_hit_class(), nearest(p, a)); }
Ref nearest_text(const PyPipeline& p, const NearestArgs& a) { return to_py(to_json_array(nearest(p, a))); }
Ref similar_objects(const PyPipeline& p, const SimilarArgs& a) {
    return to_list(nearest_hit_class(), similar_above(p, a));
}
Ref similar_text(const PyPipeline& p, const SimilarArgs& a) { return to_py(to_json_array(similar_above(p, a))); }

Ref path_object(const PyPipeline& p, const PathArgs& a) {
    auto path = concept_path(p, a);
    return path ? path_result_class().make(std::move(*path)) : none();
}

Ref path_text(const PyPipeline& p, const PathArgs& a) {
    const auto path = concept_path(p, a);
    return to_py(path ? to_json(*path) : std::string("null"));
}

Ref globs_objects(const PyPipeline& p, const GlobArgs& a) { return to_list(glob_info_class(), detect_globs(p, a)); }
Ref globs_text(const PyPipeline& p, const GlobArgs& a) { return to_py(to_json_array(detect_globs(p, a))); }
Ref manifold_object(const PyPipeline& p, const ManifoldArgs& a) {
    return manifold_info_class().make(local_manifold(p, a));
}
Ref manifold_text(const PyPipeline& p, const ManifoldArgs& a) { return to_py(to_json(local_manifold(p, a))); }

}  // namespace

Class<PyPipeline>& with_item_queries(Class<PyPipeline>& cls) {
    return cls.method<nearest_objects, kNearest>()
        .method<nearest_text, kNearestJson>()
        .method<similar_objects, kSimilar>()
        .method<similar_text, kSimilarJson>()
        .method<path_object, kPath>()
        .method<path_text, kPathJson>()
        .method<globs_objects, kGlobs>()
        .method<globs_text, kGlobsJson>()
        .method<manifold_object, kManifold>()
        .method<manifold_text, kManifoldJson>();
}

}  // namespace vantorel::python
