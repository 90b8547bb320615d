// Pipeline.category_concept_path, category_neighbors, drill_down,
// hierarchical_nearest, domain_groups, projection_warnings, category_stats.
#include "python/pipeline/category_results.hpp"
#include "python/embedding_input.hpp"
#include "python/pipeline/item_results.hpp"
#include "python/pipeline/pipeline.hpp"

namespace vantorel::python {
namespace {

namespace q = embed::query;
namespace out = embed::output;

constexpr Param kPathParams[] = {{"source_category"}, {"target_category"}};
constexpr Param kNeighborParams[] = {{"category"}, {"k", "5"}};
constexpr Param kDrillParams[] = {{"category"}, {"query"}, {"k", "10"}};
constexpr Param kHierarchicalParams[] = {{"query"}, {"k", "5"}};

constexpr Params kCategoryPath{"Pipeline", "category_concept_path", kPathParams};
constexpr Params kNeighbors{"Pipeline", "category_neighbors", kNeighborParams};
constexpr Params kDrillDown{"Pipeline", "drill_down", kDrillParams};
constexpr Params kHierarchical{"Pipeline", "hierarchical_nearest", kHierarchicalParams};

std::vector<double> zeros(const PyPipeline& p) { return std::vector<double>(p.dimension, 0.0); }

Ref category_concept_path(const PyPipeline& p, const Args<kPathParams>& a) {
    const std::string_view source = a.convert<"source_category">(to_string_view);
    const std::string_view target = a.convert<"target_category">(to_string_view);
    const auto answer = run_query<out::CategoryPath>(p, q::CategoryConceptPath{source, target}, zeros(p));
    return answer.path ? category_path_result_class().make(to_category_path(*answer.path)) : none();
}

Ref category_neighbors(const PyPipeline& p, const Args<kNeighborParams>& a) {
    const std::string_view category = a.convert<"category">(to_string_view);
    const std::uint64_t k = a.u64<"k">();
    const auto answer = run_query<out::CategoryNeighbors>(p, q::CategoryNeighbors{category, k}, zeros(p));
    return to_list(category_summary_info_class(), to_category_summary_infos(answer.summaries));
}

Ref drill_down(const PyPipeline& p, const Args<kDrillParams>& a) {
    const std::string_view category = a.convert<"category">(to_string_view);
    const std::uint64_t k = a.u64<"k">();
    std::vector<double> v = extract_embedding(a.object<"query">());
    check_query_dim(p.dimension, v.size());
    const auto answer = run_query<out::DrillDown>(p, q::DrillDown{category, k}, v);
    return to_list(drill_down_hit_class(), to_drill_down_hits(answer.hits));
}

Ref category_stats(const PyPipeline& p) {
    const auto answer = run_query<out::CategoryStats>(p, q::CategoryStats{}, zeros(p));
    Ref summaries = to_list(category_summary_info_class(), to_category_summary_infos(answer.summaries));
    Ref spheres = to_list(inner_sphere_info_class(), to_inner_sphere_infos(answer.inner_spheres));
    return Ref::steal(PyTuple_Pack(2, summaries.get(), spheres.get()));
}

Ref hierarchical_nearest(const PyPipeline& p, const Args<kHierarchicalParams>& a) {
    const std::uint64_t k = a.u64<"k">();
    std::vector<double> v = extract_embedding(a.object<"query">());
    check_query_dim(p.dimension, v.size());
    auto hits = without_gil([&] { return p.engine.hierarchical_nearest(v, k); });
    return to_list(nearest_hit_class(), std::move(hits));
}

Ref domain_groups(const PyPipeline& p) {
    return to_list(domain_group_info_class(), to_domain_group_infos(p.engine.domain_groups()));
}

Ref projection_warnings(const PyPipeline& p) {
    return to_list(projection_warning_info_class(), to_projection_warning_infos(p.engine.warnings()));
}

}  // namespace

Class<PyPipeline>& with_category_queries(Class<PyPipeline>& cls) {
    return cls
        .method<category_concept_path, kCategoryPath>()
        .method<category_neighbors, kNeighbors>()
        .method<drill_down, kDrillDown>()
        .method<hierarchical_nearest, kHierarchical>(
            "Hierarchical nearest-neighbor search. Falls back to plain\n"
            "[`nearest`](Self::nearest) when EVR is above\n"
            "`config.routing.low_evr_threshold`; otherwise routes the query\n"
            "to a domain group and drills into its member categories.")
        .method<domain_groups>("domain_groups", "Coarse domain groups detected from category geometry.")
        .method<projection_warnings>("projection_warnings",
                                     "Structured warnings when projection quality (EVR) is below the\n"
                                     "configured threshold. Empty when the projection is healthy.")
        .method<category_stats>("category_stats");
}

}  // namespace vantorel::python
