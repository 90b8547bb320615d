#include "python/meta/meta.hpp"
#include "python/meta/meta_model_methods.hpp"

namespace vantorel::python {
namespace {

using embed::NearestNeighborMetaModel;

constexpr Params kNew{"NearestNeighborMetaModel", "__new__", {}};

NearestNeighborMetaModel construct() { return NearestNeighborMetaModel(); }

}  // namespace

Class<NearestNeighborMetaModel>& nearest_neighbor_meta_model_class() {
    static Class<NearestNeighborMetaModel> cls("NearestNeighborMetaModel");
    static Class<NearestNeighborMetaModel>& described = with_meta_model_methods(
        cls.constructor<construct, kNew>(
            "Picks the training record whose corpus feature vector is closest to the query\n"
            "(z-score normalised Euclidean distance) and predicts its best configuration."),
        "Fit on a list of training records: dicts with the keys corpus_id, features,\n"
        "best_config, best_score, metric_name, strategy and timestamp. A new fit replaces\n"
        "the previous one.",
        "Predict the PipelineConfig for a new corpus profile (a dict as returned by\n"
        "corpus_features). Returns a dict ready to pass to\n"
        "Pipeline(categories, embeddings, config=...).");
    return described;
}

}  // namespace vantorel::python
