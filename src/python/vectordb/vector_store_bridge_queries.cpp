// VectorStoreBridge's pipeline queries: item queries, category queries,
// hierarchical search, domain groups and projection warnings of the last build.
#include "python/embedding_input.hpp"
#include "python/pipeline/category_results.hpp"
#include "python/pipeline/item_results.hpp"
#include "python/runtime/gil.hpp"
#include "python/vectordb/record_conversion.hpp"
#include "python/vectordb/vectordb.hpp"

namespace vantorel::python {
namespace {

namespace q = embed::query;
namespace out = embed::output;

using Snapshot = std::shared_ptr<const vectordb::BridgeSnapshot>;

constexpr Param kNearestParams[] = {{"embedding"}, keyword_only("k", "5")};
constexpr Param kSimilarParams[] = {{"embedding"}, keyword_only("min_cosine", "0.8")};
constexpr Param kPathParams[] = {{"source_id"}, {"target_id"}, keyword_only("graph_k", "10"),
                                 keyword_only("embedding")};
constexpr Param kGlobParams[] = {{"embedding"}, keyword_only("k", "None"), keyword_only("max_k", "10")};
constexpr Param kManifoldParams[] = {{"embedding"}, keyword_only("neighborhood_k", "10")};
constexpr Param kCategoryPathParams[] = {{"source_category"}, {"target_category"}};
constexpr Param kNeighborParams[] = {{"category"}, keyword_only("k", "5")};
constexpr Param kDrillParams[] = {{"category"}, {"embedding"}, keyword_only("k", "10")};
constexpr Param kHierarchicalParams[] = {{"embedding"}, keyword_only("k", "5")};

constexpr Params kNearest{"VectorStoreBridge", "query_nearest", kNearestParams};
constexpr Params kSimilar{"VectorStoreBridge", "query_similar", kSimilarParams};
constexpr Params kPath{"VectorStoreBridge", "query_concept_path", kPathParams};
constexpr Params kGlobs{"VectorStoreBridge", "query_detect_globs", kGlobParams};
constexpr Params kManifold{"VectorStoreBridge", "query_local_manifold", kManifoldParams};
constexpr Params kCategoryPath{"VectorStoreBridge", "category_concept_path", kCategoryPathParams};
constexpr Params kNeighbors{"VectorStoreBridge", "category_neighbors", kNeighborParams};
constexpr Params kDrillDown{"VectorStoreBridge", "drill_down", kDrillParams};
constexpr Params kHierarchical{"VectorStoreBridge", "hierarchical_nearest", kHierarchicalParams};

// The last build, taken once per call so that the dimension check and the
// query see the same one.
Snapshot built_or_raise(const PyVectorStoreBridge& b) {
    Snapshot built = b.bridge->current();
    if (!built) raise_store_error(vectordb::VectorStoreError{vectordb::store_error::PipelineNotBuilt{}});
    return built;
}

Snapshot built_or_raise_short(const PyVectorStoreBridge& b) {
    Snapshot built = b.bridge->current();
    if (!built) raise_runtime_error("pipeline not built");
    return built;
}

void check_dimension(const vectordb::BridgeSnapshot& built, const std::vector<double>& embedding) {
    check_query_dim(built.projection().dimension(), embedding.size());
}

// Runs one query on `built` without the interpreter lock and unwraps its answer of kind `Out`.
template <class Out>
Out run(const vectordb::BridgeSnapshot& built, const embed::PipelineQuery& query, std::span<const double> embedding) {
    auto answer = store_value(without_gil([&] { return built.query(query, embedding); }));
    auto* output = std::get_if<Out>(&answer);
    if (output == nullptr) raise_runtime_error("unexpected output type");
    return std::move(*output);
}

// An embedding query: converted arguments, then the build, its dimension check and the query.
template <class Out>
Out run_with_embedding(const PyVectorStoreBridge& b, const embed::PipelineQuery& query,
                       const std::vector<double>& embedding) {
    const Snapshot built = built_or_raise(b);
    check_dimension(*built, embedding);
    return run<Out>(*built, query, embedding);
}

// A category query carries zeros of the build's input length as its vector.
template <class Out>
Out run_category(const PyVectorStoreBridge& b, const embed::PipelineQuery& query) {
    const Snapshot built = built_or_raise(b);
    return run<Out>(*built, query, std::vector<double>(built->projection().dimension(), 0.0));
}

Ref query_nearest(const PyVectorStoreBridge& b, const Args<kNearestParams>& a) {
    const auto v = read_finite_vector(a.object<"embedding">());
    const std::uint64_t k = a.u64<"k">();
    return to_list(nearest_hit_class(), run_with_embedding<out::Nearest>(b, q::Nearest{k}, v).hits);
}

Ref query_similar(const PyVectorStoreBridge& b, const Args<kSimilarParams>& a) {
    const auto v = read_finite_vector(a.object<"embedding">());
    const double min_cosine = a.f64<"min_cosine">();
    return to_list(nearest_hit_class(), run_with_embedding<out::SimilarAbove>(b, q::SimilarAbove{min_cosine}, v).hits);
}

Ref query_concept_path(const PyVectorStoreBridge& b, const Args<kPathParams>& a) {
    const std::string_view source = a.convert<"source_id">(to_string_view);
    const std::string_view target = a.convert<"target_id">(to_string_view);
    const std::uint64_t graph_k = a.u64<"graph_k">();
    const auto v = read_finite_vector(a.object<"embedding">());
    auto path = run_with_embedding<out::ConceptPath>(b, q::ConceptPath{source, target, graph_k}, v).path;
    return path ? path_result_class().make(std::move(*path)) : none();
}

Ref query_detect_globs(const PyVectorStoreBridge& b, const Args<kGlobParams>& a) {
    const auto v = read_finite_vector(a.object<"embedding">());
    const std::optional<std::uint64_t> k = a.optional<"k">(to_u64);
    const std::uint64_t max_k = a.u64<"max_k">();
    return to_list(glob_info_class(), run_with_embedding<out::Globs>(b, q::DetectGlobs{k, max_k}, v).globs);
}

Ref query_local_manifold(const PyVectorStoreBridge& b, const Args<kManifoldParams>& a) {
    const auto v = read_finite_vector(a.object<"embedding">());
    const std::uint64_t neighborhood_k = a.u64<"neighborhood_k">();
    return manifold_info_class().make(run_with_embedding<out::LocalManifold>(b, q::LocalManifold{neighborhood_k}, v));
}

Ref category_concept_path(const PyVectorStoreBridge& b, const Args<kCategoryPathParams>& a) {
    const std::string_view source = a.convert<"source_category">(to_string_view);
    const std::string_view target = a.convert<"target_category">(to_string_view);
    const auto answer = run_category<out::CategoryPath>(b, q::CategoryConceptPath{source, target});
    return answer.path ? category_path_result_class().make(to_category_path(*answer.path)) : none();
}

Ref category_neighbors(const PyVectorStoreBridge& b, const Args<kNeighborParams>& a) {
    const std::string_view category = a.convert<"category">(to_string_view);
    const std::uint64_t k = a.u64<"k">();
    const auto answer = run_category<out::CategoryNeighbors>(b, q::CategoryNeighbors{category, k});
    return to_list(category_summary_info_class(), to_category_summary_infos(answer.summaries));
}

Ref drill_down(const PyVectorStoreBridge& b, const Args<kDrillParams>& a) {
    const std::string_view category = a.convert<"category">(to_string_view);
    const auto v = read_finite_vector(a.object<"embedding">());
    const std::uint64_t k = a.u64<"k">();
    const auto answer = run_with_embedding<out::DrillDown>(b, q::DrillDown{category, k}, v);
    return to_list(drill_down_hit_class(), to_drill_down_hits(answer.hits));
}

Ref category_stats(const PyVectorStoreBridge& b) {
    const auto answer = run_category<out::CategoryStats>(b, q::CategoryStats{});
    Ref summaries = to_list(category_summary_info_class(), to_category_summary_infos(answer.summaries));
    Ref spheres = to_list(inner_sphere_info_class(), to_inner_sphere_infos(answer.inner_spheres));
    return Ref::steal(PyTuple_Pack(2, summaries.get(), spheres.get()));
}

Ref hierarchical_nearest(const PyVectorStoreBridge& b, const Args<kHierarchicalParams>& a) {
    const auto v = read_finite_vector(a.object<"embedding">());
    const std::uint64_t k = a.u64<"k">();
    const Snapshot built = built_or_raise_short(b);
    check_dimension(*built, v);
    auto hits = without_gil([&] { return built->pipeline.hierarchical_nearest(v, k); });
    return to_list(nearest_hit_class(), std::move(hits));
}

Ref domain_groups(const PyVectorStoreBridge& b) {
    const Snapshot built = built_or_raise_short(b);
    return to_list(domain_group_info_class(), to_domain_group_infos(built->pipeline.domain_groups()));
}

Ref projection_warnings(const PyVectorStoreBridge& b) {
    const Snapshot built = built_or_raise_short(b);
    return to_list(projection_warning_info_class(), to_projection_warning_infos(built->pipeline.warnings()));
}

}  // namespace

Class<PyVectorStoreBridge>& with_bridge_queries(Class<PyVectorStoreBridge>& cls) {
    return cls.method<query_nearest, kNearest>()
        .method<query_similar, kSimilar>()
        .method<query_concept_path, kPath>()
        .method<query_detect_globs, kGlobs>()
        .method<query_local_manifold, kManifold>("Fit a local manifold around the query point in the\n"
                                                 "pipeline's projected space.")
        .method<category_concept_path, kCategoryPath>("Find the shortest path between two categories through\n"
                                                      "the category graph.")
        .method<category_neighbors, kNeighbors>("k-NN over category centroids starting from `category`.")
        .method<drill_down, kDrillDown>("Drill into one category: k-NN within that category using\n"
                                        "its inner sphere's projection when available.")
        .method<category_stats>("category_stats", "Per-category summaries plus inner-sphere reports.")
        .method<hierarchical_nearest, kHierarchical>()
        .method<domain_groups>("domain_groups", "Coarse domain groups detected from category geometry.")
        .method<projection_warnings>("projection_warnings", "Projection-quality warnings. Empty when EVR is healthy.");
}

}  // namespace vantorel::python
