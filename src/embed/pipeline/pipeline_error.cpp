#include "embed/pipeline/pipeline_error.hpp"

#include "core/format.hpp"
#include "core/invariant.hpp"

namespace vantorel::embed {

std::string PipelineError::message() const {
    switch (kind) {
        case Kind::LengthMismatch:
            return core::format("categories length ({}) must equal embeddings length ({})", first, second);
        case Kind::TooFewEmbeddings: return core::format("need at least 3 embeddings, got {}", first);
        case Kind::ProjectionFailed: return core::format("projection fit failed: {}", projection.message());
        case Kind::UnknownCategory: return core::format("unknown category: {}", name);
        case Kind::UnknownId: return core::format("unknown id: {}", name);
        case Kind::NoSuccessfulTrials:
            return core::format("auto_tune produced no successful trials ({} failures)", first);
        case Kind::GlobCountBound: return "max_k must be >= 2 when k is given";
    }
    core::stop("unknown pipeline error kind");
}

}  // namespace vantorel::embed
