// corpus_features: the engine's profile of a labelled corpus as a dict.
#include "core/format.hpp"
#include "embed/tuning/corpus_features.hpp"
#include "python/dict_record.hpp"
#include "python/embedding_input.hpp"
#include "python/runtime/gil.hpp"
#include "python/tuning/tuning.hpp"

namespace vantorel::python {
namespace {

constexpr Param kFeaturesParams[] = {{"categories"}, {"embeddings"}};
constexpr Params kFeatures{nullptr, "corpus_features", kFeaturesParams};

Ref corpus_features(const Args<kFeaturesParams>& a) {
    std::vector<std::string> categories = a.str_list<"categories">();
    const embed::Corpus embeddings = extract_embeddings_2d(a.object<"embeddings">());
    if (categories.size() != embeddings.size()) {
        raise_value_error(core::format("categories length ({}) != embeddings length ({})", categories.size(),
                                       embeddings.size()));
    }
    reject_ragged_rows(embeddings);
    auto features = without_gil([&] { return embed::CorpusFeatures::extract(categories, embeddings); });
    // An empty corpus or zero-length rows are bad input, reported as such.
    if (!features) raise_value_error(features.error().message());
    return write_dict(*features);
}

}  // namespace

PyMethodDef& corpus_features_def() { return function_def<corpus_features, kFeatures>(); }

}  // namespace vantorel::python
