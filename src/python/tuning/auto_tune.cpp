// auto_tune: the engine's search for the best pipeline settings of a corpus.
#include <memory>
#include <optional>
#include <string_view>

#include "core/format.hpp"
#include "embed/quality/metric_by_name.hpp"
#include "embed/tuning/tuner.hpp"
#include "python/dict_record.hpp"
#include "python/embedding_input.hpp"
#include "python/pipeline/pipeline.hpp"
#include "python/runtime/gil.hpp"
#include "python/tuning/tuning.hpp"

namespace vantorel::python {
namespace {

constexpr Param kTuneParams[] = {{"categories"},
                                 {"embeddings"},
                                 keyword_only("metric", "\"default_composite\""),
                                 keyword_only("strategy", "\"random\""),
                                 keyword_only("budget", "24"),
                                 keyword_only("seed", "0"),
                                 keyword_only("warmup", "4"),
                                 keyword_only("gamma", "0.25"),
                                 keyword_only("base_config", "None"),
                                 keyword_only("search_space", "None")};
constexpr Params kTune{nullptr, "auto_tune", kTuneParams};

// The strategy a name selects, carrying the arguments it uses; none for an unknown name.
std::optional<embed::SearchStrategy> strategy_by_name(std::string_view name, std::uint64_t budget, std::uint64_t seed,
                                                      std::uint64_t warmup, double gamma) {
    if (name == "grid") return embed::strategy::Grid{};
    if (name == "random") return embed::strategy::Random{budget, seed};
    if (name == "bayesian") return embed::strategy::Bayesian{budget, warmup, gamma, seed};
    return std::nullopt;
}

std::string metric_names() {
    std::string out;
    for (const std::string_view name : embed::kMetricNames) {
        if (!out.empty()) out += ", ";
        out += name;
    }
    return out;
}

template <class T>
T read_or_raise(PyObject* obj, std::string_view what) {
    try {
        return read_dict<T>(obj);
    } catch (const DictError& e) {
        raise_value_error(core::format("invalid {} dict: {}", what, e.message));
    }
}

Ref report_dict(const embed::TuneReport& report) {
    Ref dict = Ref::steal(PyDict_New());
    const auto put = [&dict](const char* key, Ref value) {
        if (PyDict_SetItemString(dict.get(), key, value.get()) < 0) throw PyErrorSet{};
    };
    put("metric_name", to_py(report.metric_name));
    put("best_score", to_py(report.best_score));
    put("best_config", write_dict(report.best_config));
    put("trials_count", to_py(static_cast<std::uint64_t>(report.trials.size())));
    put("failures_count", to_py(static_cast<std::uint64_t>(report.failures.size())));
    put("mean_score", to_py(report.mean_score()));
    return dict;
}

Ref auto_tune(const Args<kTuneParams>& a) {
    std::vector<std::string> categories = a.str_list<"categories">();
    const std::string metric_name = a.str<"metric">();
    const std::string strategy_name = a.str<"strategy">();
    const std::uint64_t budget = a.u64<"budget">();
    const std::uint64_t seed = a.u64<"seed">();
    const std::uint64_t warmup = a.u64<"warmup">();
    const double gamma = a.f64<"gamma">();

    embed::Corpus embeddings = extract_embeddings_2d(a.object<"embeddings">());
    if (categories.size() != embeddings.size()) {
        raise_value_error(core::format("categories length ({}) != embeddings length ({})", categories.size(),
                                       embeddings.size()));
    }
    reject_ragged_rows(embeddings);
    const std::size_t dimension = embeddings.empty() ? 0 : embeddings[0].size();

    const std::optional<PyObject*> base_obj = a.optional<"base_config">();
    const embed::PipelineConfig base =
        base_obj ? read_or_raise<embed::PipelineConfig>(*base_obj, "base_config") : embed::PipelineConfig{};
    const std::unique_ptr<embed::QualityMetric> metric = embed::metric_by_name(metric_name);
    if (metric == nullptr) {
        raise_value_error(core::format("unknown metric {:?}; expected one of: {}", metric_name, metric_names()));
    }
    const auto strategy = strategy_by_name(strategy_name, budget, seed, warmup, gamma);
    if (!strategy) {
        raise_value_error(core::format("unknown strategy {:?}; expected one of: grid, random, bayesian", strategy_name));
    }
    const std::optional<PyObject*> space_obj = a.optional<"search_space">();
    const embed::SearchSpace space =
        space_obj ? read_or_raise<embed::SearchSpace>(*space_obj, "search_space") : embed::SearchSpace{};
    if (const auto refusal = embed::strategy_refusal(*strategy, space)) raise_value_error(*refusal);

    auto tuned = without_gil([&] {
        return embed::auto_tune(std::move(categories), std::move(embeddings), space, *metric, *strategy, base);
    });
    if (!tuned) raise_value_error(tuned.error().message());
    Ref report = report_dict(tuned->report);
    Ref pipeline = pipeline_class().make({std::move(tuned->pipeline), dimension});
    return Ref::steal(PyTuple_Pack(2, pipeline.get(), report.get()));
}

}  // namespace

PyMethodDef& auto_tune_def() { return function_def<auto_tune, kTune>(); }

}  // namespace vantorel::python
