#include "embed/tuning/corpus_features_error.hpp"

#include "core/format.hpp"

namespace vantorel::embed {
namespace {

struct Message {
    std::string operator()(const CorpusFeaturesError::EmptyCorpus&) const {
        return "cannot extract features from an empty corpus";
    }
    std::string operator()(const CorpusFeaturesError::ZeroDimension&) const {
        return "embeddings must have positive dimensionality";
    }
    std::string operator()(const CorpusFeaturesError::RaggedEmbedding& e) const {
        return core::format("embedding {} has dimension {}, expected {}", e.index, e.dimension, e.expected);
    }
};

}  // namespace

std::string CorpusFeaturesError::message() const { return std::visit(Message{}, kind); }

}  // namespace vantorel::embed
