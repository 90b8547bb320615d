// The Python Pipeline: construction, accessors and exports.
#include "python/pipeline/pipeline.hpp"

#include "core/format.hpp"
#include "embed/pipeline/corpus_json.hpp"
#include "python/dict_record.hpp"
#include "python/embedding_input.hpp"
#include "python/projection/projection.hpp"
#include "python/runtime/gil.hpp"

namespace vantorel::python {
namespace {

using embed::VantorelPipeline;

constexpr Param kNewParams[] = {{"categories"}, {"embeddings"}, keyword_only("projection", "None"),
                                keyword_only("config", "None")};
constexpr Params kNew{"Pipeline", "__new__", kNewParams};
constexpr Param kJson[] = {{"json"}};
constexpr Params kFromJson{"Pipeline", "from_json", kJson};

std::size_t dimension_of(const embed::Corpus& corpus) { return corpus.empty() ? 0 : corpus[0].size(); }

// A given projection is used as it is, so a row it cannot take would stop the
// build when the item is projected; say so with that check's text, after the
// engine's own count checks have had their turn.
void reject_rows_for(const embed::Corpus& corpus, std::size_t dimension) {
    if (corpus.size() < embed::VantorelPipeline::kMinItems) return;
    for (std::size_t i = 0; i < corpus.size(); ++i) {
        if (corpus[i].size() != dimension) {
            raise_value_error(core::format("expected dimension {}, got {}", dimension, corpus[i].size()));
        }
    }
}

VantorelPipeline built_or_raise(VantorelPipeline::Built built) {
    if (!built) raise_value_error(built.error().message());
    return std::move(built).value();
}

PyPipeline construct(const Args<kNewParams>& a) {
    std::vector<std::string> categories = a.str_list<"categories">();
    std::optional<SharedBorrow> projection_borrow;
    const embed::PcaProjection* projection = nullptr;
    if (const auto obj = a.optional<"projection">(instance_of(pca_projection_class().type(), "PcaProjection"))) {
        projection_borrow.emplace(as_instance<embed::PcaProjection>(*obj)->borrow);
        projection = &Class<embed::PcaProjection>::value_of(*obj);
    }
    embed::Corpus embeddings = extract_embeddings_2d(a.object<"embeddings">());
    if (categories.size() != embeddings.size()) {
        raise_value_error(core::format("categories length ({}) != embeddings length ({})", categories.size(),
                                       embeddings.size()));
    }
    const std::size_t dimension = dimension_of(embeddings);
    std::optional<embed::PipelineConfig> config;
    if (const std::optional<PyObject*> config_obj = a.optional<"config">()) {
        try {
            config = read_dict<embed::PipelineConfig>(*config_obj);
        } catch (const DictError& e) {
            raise_value_error("invalid PipelineConfig dict: " + e.message);
        }
    }
    if (projection != nullptr) reject_rows_for(embeddings, projection->dimension());

    VantorelPipeline engine = built_or_raise(without_gil([&] {
        if (projection != nullptr) {
            return config ? VantorelPipeline::with_projection_and_config(std::move(categories), std::move(embeddings),
                                                                         *projection, *config)
                          : VantorelPipeline::with_projection(std::move(categories), std::move(embeddings), *projection);
        }
        return config ? VantorelPipeline::make_with_config(std::move(categories), std::move(embeddings), *config)
                      : VantorelPipeline::make(std::move(categories), std::move(embeddings));
    }));
    return {std::move(engine), dimension};
}

// The corpus of a JSON text: {"categories": [str...], "embeddings": [[number...]...]}.
Ref from_json(const Args<kJson>& a) {
    auto corpus = with_interrupts([text = a.convert<"json">(to_string_view)] { return embed::read_corpus_json(text); });
    if (!corpus) raise_value_error(corpus.error());
    std::vector<std::string> categories = std::move(corpus->categories);
    embed::Corpus embeddings = std::move(corpus->embeddings);
    const std::size_t dimension = dimension_of(embeddings);
    return pipeline_class().make({built_or_raise(with_interrupts([&] {
                                      return VantorelPipeline::make(std::move(categories), std::move(embeddings));
                                  })),
                                  dimension});
}

Ref config(const PyPipeline& p) { return write_dict(p.engine.config()); }

Ref exported_points(const PyPipeline& p) {
    const auto points = p.engine.exported_points();
    Ref list = new_list(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        const embed::ExportedPoint& e = points[i];
        Ref dict = Ref::steal(PyDict_New());
        const auto put = [&dict](const char* key, Ref value) {
            if (PyDict_SetItemString(dict.get(), key, value.get()) < 0) throw PyErrorSet{};
        };
        put("id", to_py(e.id));
        put("category", to_py(e.category));
        put("r", to_py(e.r));
        put("theta", to_py(e.theta));
        put("phi", to_py(e.phi));
        put("x", to_py(e.x));
        put("y", to_py(e.y));
        put("z", to_py(e.z));
        put("certainty", to_py(e.certainty));
        put("intensity", to_py(e.intensity));
        set_item(list, i, std::move(dict));
    }
    return list;
}

Ref string_list(const std::vector<std::string>& values) {
    Ref list = new_list(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) set_item(list, i, to_py(values[i]));
    return list;
}

Ref projection_kind(const PyPipeline& p) {
    switch (p.engine.projection().kind()) {
        case embed::ProjectionKind::Pca: return to_py(std::string_view("pca"));
        case embed::ProjectionKind::KernelPca: return to_py(std::string_view("kernel_pca"));
        case embed::ProjectionKind::LaplacianEigenmap: return to_py(std::string_view("laplacian_eigenmap"));
    }
    core::stop("unknown projection kind");
}

std::size_t item_count(const PyPipeline& p) { return p.engine.ids().size(); }

}  // namespace

Class<PyPipeline>& pipeline_class() {
    static Class<PyPipeline> cls("Pipeline");
    static Class<PyPipeline>& described =
        with_category_queries(
            with_item_queries(
                cls.static_method<from_json, kFromJson>()
                    .getter<[](const PyPipeline& p) { return to_py(static_cast<std::uint64_t>(item_count(p))); }>(
                        "num_items")
                    .getter<[](const PyPipeline& p) { return string_list(p.engine.categories()); }>("categories")
                    .method<config>("config", "Return the [`PipelineConfig`] this pipeline was built with, as a dict.")
                    .getter<projection_kind>("projection_kind",
                                             "Short stable name of the projection family — \"pca\", \"kernel_pca\",\n"
                                             "or \"laplacian_eigenmap\"."))
                .method<exported_points>("exported_points")
                .getter<[](const PyPipeline& p) { return to_py(p.engine.explained_variance_ratio()); }>(
                    "explained_variance_ratio")
                .method<[](const PyPipeline& p) { return string_list(p.engine.unique_categories()); }>(
                    "unique_categories")
                .method<[](const PyPipeline& p) { return to_py(p.engine.to_json()); }>("to_json")
                .method<[](const PyPipeline& p) { return to_py(p.engine.to_csv()); }>("to_csv"))
            .constructor<construct, kNew>()
            .length<item_count>()
            .truth<[](const PyPipeline& p) { return item_count(p) != 0; }>()
            .repr<[](const PyPipeline& p) { return core::format("Pipeline(items={})", item_count(p)); }>();
    return described;
}

}  // namespace vantorel::python
