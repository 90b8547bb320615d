#pragma once

// What both meta-model classes share: fit, predict, name and repr.
#include "core/format.hpp"
#include "python/dict_record.hpp"
#include "python/meta/training_records.hpp"
#include "python/runtime/classes.hpp"

namespace vantorel::python::meta_model_detail {

inline constexpr Param kRecords[] = {{"records"}};
inline constexpr Param kFeatures[] = {{"features"}};

template <class M>
inline constexpr Params kFit{M::kTypeName.data(), "fit", kRecords};
template <class M>
inline constexpr Params kPredict{M::kTypeName.data(), "predict", kFeatures};

// Under the exclusive borrow; the records are read whole before the model
// changes, so a failed conversion leaves the previous fit in place.
template <class M>
Ref fit(M& model, const Args<kRecords>& a) {
    std::vector<embed::MetaTrainingRecord> records;
    try {
        records = read_training_records(a.object<"records">());
    } catch (const DictError& e) {
        raise_value_error("invalid training records: " + e.message);
    }
    model.fit(std::move(records));
    return none();
}

template <class M>
Ref predict(const M& model, const Args<kFeatures>& a) {
    embed::CorpusFeatures features;
    try {
        features = read_dict<embed::CorpusFeatures>(a.object<"features">());
    } catch (const DictError& e) {
        raise_value_error("invalid CorpusFeatures dict: " + e.message);
    }
    auto config = model.predict(features);
    if (!config) raise_value_error(config.error().message());
    return write_dict(*config);
}

template <class M>
Ref name(const M&) {
    return to_py(M::kName);
}

template <class M>
std::string repr(const M& model) {
    return core::format("{}(records={})", M::kTypeName, model.records().size());
}

}  // namespace vantorel::python::meta_model_detail

namespace vantorel::python {

// Adds fit, predict, name and repr; `fit_doc` and `predict_doc` follow the
// methods' signature lines.
template <class M>
Class<M>& with_meta_model_methods(Class<M>& cls, const char* fit_doc = "", const char* predict_doc = "") {
    using namespace meta_model_detail;
    return cls.template method<fit<M>, kFit<M>>(fit_doc)
        .template method<predict<M>, kPredict<M>>(predict_doc)
        .template getter<name<M>>("name")
        .template repr<repr<M>>();
}

}  // namespace vantorel::python
