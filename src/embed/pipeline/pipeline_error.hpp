#pragma once

#include <cstddef>
#include <string>

#include "embed/projection/projection.hpp"

namespace vantorel::embed {

// Error of pipeline construction and queries; the tuner adds its own case.
struct PipelineError {
    enum class Kind {
        LengthMismatch,
        TooFewEmbeddings,
        ProjectionFailed,
        UnknownCategory,
        UnknownId,
        NoSuccessfulTrials,
        // Glob detection asked for a cluster count with a bound below two.
        GlobCountBound,
    };

    explicit PipelineError(Kind k) : kind(k) {}

    Kind kind;
    std::size_t first = 0;   // categories length | embeddings length | failure count | max_k
    std::size_t second = 0;  // embeddings length (LengthMismatch)
    ProjectionError projection{ProjectionError::Kind::NoEmbeddings};
    std::string name;  // unknown category or id

    static PipelineError length_mismatch(std::size_t categories, std::size_t embeddings) {
        PipelineError e{Kind::LengthMismatch};
        e.first = categories;
        e.second = embeddings;
        return e;
    }
    static PipelineError too_few_embeddings(std::size_t n) {
        PipelineError e{Kind::TooFewEmbeddings};
        e.first = n;
        return e;
    }
    static PipelineError projection_failed(ProjectionError inner) {
        PipelineError e{Kind::ProjectionFailed};
        e.projection = inner;
        return e;
    }
    static PipelineError unknown_category(std::string category) {
        PipelineError e{Kind::UnknownCategory};
        e.name = std::move(category);
        return e;
    }
    static PipelineError unknown_id(std::string id) {
        PipelineError e{Kind::UnknownId};
        e.name = std::move(id);
        return e;
    }
    static PipelineError glob_count_bound(std::size_t max_k) {
        PipelineError e{Kind::GlobCountBound};
        e.first = max_k;
        return e;
    }
    static PipelineError no_successful_trials(std::size_t failures) {
        PipelineError e{Kind::NoSuccessfulTrials};
        e.first = failures;
        return e;
    }

    [[nodiscard]] std::string message() const;
};

}  // namespace vantorel::embed
