#include "python/meta/meta.hpp"
#include "python/meta/meta_model_methods.hpp"

namespace vantorel::python {
namespace {

using embed::DistanceWeightedMetaModel;

constexpr Param kNewParams[] = {keyword_only("epsilon", "0.1")};
constexpr Params kNew{"DistanceWeightedMetaModel", "__new__", kNewParams};

DistanceWeightedMetaModel construct(const Args<kNewParams>& a) {
    return DistanceWeightedMetaModel(a.f64<"epsilon">());
}

}  // namespace

Class<DistanceWeightedMetaModel>& distance_weighted_meta_model_class() {
    static Class<DistanceWeightedMetaModel> cls("DistanceWeightedMetaModel");
    static Class<DistanceWeightedMetaModel>& described = with_meta_model_methods(cls.constructor<construct, kNew>(
        "Picks the training record that maximises best_score * 1 / (distance + epsilon),\n"
        "balancing similarity to the query and observed quality, and predicts its best\n"
        "configuration. An epsilon below 1e-12 (or NaN) is raised to 1e-12."));
    return described;
}

}  // namespace vantorel::python
