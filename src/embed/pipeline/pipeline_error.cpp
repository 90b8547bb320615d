#include "embed/pipeline/pipeline_error.hpp"

#include "core/format.hpp"

namespace vantorel::embed {
namespace {

struct Message {
    std::string operator()(const PipelineError::LengthMismatch& e) const {
        return core::format("categories length ({}) must equal embeddings length ({})", e.categories, e.embeddings);
    }
    std::string operator()(const PipelineError::TooFewEmbeddings& e) const {
        return core::format("need at least 3 embeddings, got {}", e.got);
    }
    std::string operator()(const PipelineError::ProjectionFailed& e) const {
        return core::format("projection fit failed: {}", e.error.message());
    }
    std::string operator()(const PipelineError::UnknownCategory& e) const {
        return core::format("unknown category: {}", e.name);
    }
    std::string operator()(const PipelineError::UnknownId& e) const { return core::format("unknown id: {}", e.id); }
    std::string operator()(const PipelineError::NoSuccessfulTrials& e) const {
        return core::format("auto_tune produced no successful trials ({} failures)", e.failures.size());
    }
    std::string operator()(const PipelineError::GlobCountBound&) const { return "max_k must be >= 2 when k is given"; }
};

}  // namespace

std::string PipelineError::message() const { return std::visit(Message{}, kind); }

}  // namespace vantorel::embed
