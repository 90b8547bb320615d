// The Python VectorStoreBridge: construction, builds, hybrid search, the
// write-back of projections and the accessors of the last build.
#include "core/format.hpp"
#include "python/dict_record.hpp"
#include "python/embedding_input.hpp"
#include "python/runtime/gil.hpp"
#include "python/vectordb/record_conversion.hpp"
#include "python/vectordb/vectordb.hpp"

namespace vantorel::python {
namespace {

using vectordb::BridgeSnapshot;

constexpr Param kNewParams[] = {{"store"}, keyword_only("batch_size", "None"), keyword_only("max_records", "None")};
constexpr Params kNew{"VectorStoreBridge", "__new__", kNewParams};
constexpr Param kBuildParams[] = {keyword_only("category_key", "\"category\"")};
constexpr Params kBuild{"VectorStoreBridge", "build_pipeline", kBuildParams};
constexpr Param kBuildWithConfigParams[] = {{"config"}, keyword_only("category_key", "\"category\"")};
constexpr Params kBuildWithConfig{"VectorStoreBridge", "build_pipeline_with_config", kBuildWithConfigParams};
constexpr Param kHybridParams[] = {{"embedding"}, keyword_only("final_k", "5"), keyword_only("recall_k", "20")};
constexpr Params kHybrid{"VectorStoreBridge", "hybrid_search", kHybridParams};

constexpr std::uint64_t kDefaultBatchSize = 100;
constexpr std::uint64_t kDefaultMaxRecords = 500000;

PyVectorStoreBridge construct(const Args<kNewParams>& a) {
    PyObject* store_obj = a.instance<"store">(in_memory_store_class().type(), "InMemoryStore");
    const SharedBorrow store_borrow(as_instance<PyInMemoryStore>(store_obj)->borrow);
    vectordb::BridgeSettings settings;
    settings.batch_size = a.optional<"batch_size">(to_u64).value_or(kDefaultBatchSize);
    settings.max_records = a.optional<"max_records">(to_u64).value_or(kDefaultMaxRecords);
    // A bridge that pages by 0 records could never load any.
    if (settings.batch_size == 0) raise_value_error("batch_size must be at least 1");
    std::shared_ptr<vectordb::VectorStore> store = Class<PyInMemoryStore>::value_of(store_obj).store;
    return {std::make_unique<vectordb::VectorStoreBridge>(std::move(store), std::move(settings))};
}

Ref build_pipeline(PyVectorStoreBridge& b, const Args<kBuildParams>& a) {
    const vectordb::CategoryExtractor extractor = vectordb::metadata_category(a.str<"category_key">());
    store_value(without_gil([&] { return b.bridge->build_pipeline(extractor); }));
    return none();
}

Ref build_pipeline_with_config(PyVectorStoreBridge& b, const Args<kBuildWithConfigParams>& a) {
    const vectordb::CategoryExtractor extractor = vectordb::metadata_category(a.str<"category_key">());
    embed::PipelineConfig config;
    try {
        config = read_dict<embed::PipelineConfig>(a.object<"config">());
    } catch (const DictError& e) {
        raise_value_error("invalid config dict: " + e.message);
    }
    store_value(without_gil([&] { return b.bridge->build_pipeline_with_config(config, extractor); }));
    return none();
}

// The store's best `recall_k`, re-ranked by exact cosine; each dict keeps the store's score.
Ref hybrid_search(const PyVectorStoreBridge& b, const Args<kHybridParams>& a) {
    const std::vector<double> embedding = read_finite_vector(a.object<"embedding">());
    const std::uint64_t final_k = a.u64<"final_k">();
    const std::uint64_t recall_k = a.u64<"recall_k">();
    if (const auto built = b.bridge->current()) check_query_dim(built->projection().dimension(), embedding.size());
    const auto hits = store_value(without_gil([&] { return b.bridge->hybrid_search(embedding, final_k, recall_k); }));
    Ref list = new_list(hits.size());
    for (std::size_t i = 0; i < hits.size(); ++i) set_item(list, i, search_result_to_dict(hits[i]));
    return list;
}

Ref sync_projections(const PyVectorStoreBridge& b) {
    return to_py(store_value(without_gil([&] { return b.bridge->sync_projections(); })));
}

Ref config(const PyVectorStoreBridge& b) {
    const auto built = b.bridge->current();
    return built ? write_dict(built->pipeline.config()) : none();
}

Ref projection_kind(const PyVectorStoreBridge& b) {
    const auto built = b.bridge->current();
    if (!built) return none();
    switch (built->projection().kind()) {
        case embed::ProjectionKind::Pca: return to_py(std::string_view("pca"));
        case embed::ProjectionKind::KernelPca: return to_py(std::string_view("kernel_pca"));
        case embed::ProjectionKind::LaplacianEigenmap: return to_py(std::string_view("laplacian_eigenmap"));
    }
    core::stop("unknown projection kind");
}

std::size_t record_count(const PyVectorStoreBridge& b) {
    const auto built = b.bridge->current();
    return built ? built->ids.size() : 0;
}

}  // namespace

Class<PyVectorStoreBridge>& vector_store_bridge_class() {
    static Class<PyVectorStoreBridge> cls("VectorStoreBridge");
    static Class<PyVectorStoreBridge>& described =
        with_bridge_queries(
            cls.constructor<construct, kNew>("Bridge between an InMemoryStore and the vantorel pipeline.\n"
                                             "\n"
                                             "Pulls vectors from the store, fits a projection, and exposes the\n"
                                             "full vantorel query surface (nearest, concept path, globs, category\n"
                                             "enrichment, hierarchical routing, hybrid search).")
                .method<build_pipeline, kBuild>("Pull all vectors from the store and build the vantorel\n"
                                                "pipeline using PCA with the bridge's default radial\n"
                                                "strategy and volumetric settings.")
                .method<build_pipeline_with_config, kBuildWithConfig>(
                    "Pull all vectors and build the pipeline with an explicit\n"
                    "PipelineConfig (non-PCA projections, custom bridge /\n"
                    "inner-sphere / routing thresholds)."))
            .method<hybrid_search, kHybrid>()
            .method<sync_projections>("sync_projections")
            .method<config>("config", "PipelineConfig of the built pipeline as a dict, or None.")
            .getter<projection_kind>("projection_kind",
                                     "Short stable name of the projection family \u2014 \"pca\", \"kernel_pca\",\n"
                                     "or \"laplacian_eigenmap\" \u2014 or None if the pipeline hasn't been\n"
                                     "built yet.")
            .length<record_count>()
            .repr<[](const PyVectorStoreBridge& b) { return core::format("VectorStoreBridge(records={})", record_count(b)); }>();
    return described;
}

}  // namespace vantorel::python
