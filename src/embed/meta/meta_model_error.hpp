#pragma once

#include <string>
#include <string_view>
#include <variant>

namespace vantorel::embed {

// Why a meta-model could not predict.
struct MetaModelError {
    // `predict` on a model holding no records (never fitted, or fitted with none).
    struct PredictBeforeFit {
        std::string_view model;  // the model's type name, e.g. "NearestNeighborMetaModel"
        friend bool operator==(const PredictBeforeFit&, const PredictBeforeFit&) = default;
    };

    std::variant<PredictBeforeFit> payload;

    [[nodiscard]] std::string message() const;

    friend bool operator==(const MetaModelError&, const MetaModelError&) = default;
};

}  // namespace vantorel::embed
