#include "embed/meta/meta_model_error.hpp"

#include "core/format.hpp"

namespace vantorel::embed {

std::string MetaModelError::message() const {
    const auto& e = std::get<PredictBeforeFit>(payload);
    return core::format("{}::predict called before fit(); call .fit(records) with at least one record first",
                        e.model);
}

}  // namespace vantorel::embed
