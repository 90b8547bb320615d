#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "embed/config.hpp"
#include "embed/projection/projection.hpp"

namespace vantorel::embed {

// A trial the tuner could not build: its configuration and the error's text.
using TrialFailure = std::pair<PipelineConfig, std::string>;

// Error of pipeline construction and queries; the tuner adds its own case.
struct PipelineError {
    struct LengthMismatch {
        std::size_t categories = 0;
        std::size_t embeddings = 0;
    };
    struct TooFewEmbeddings {
        std::size_t got = 0;
    };
    struct ProjectionFailed {
        ProjectionError error;
    };
    struct UnknownCategory {
        std::string name;
    };
    struct UnknownId {
        std::string id;
    };
    // Every trial of a tuning run failed (or none ran); the failures in run order.
    struct NoSuccessfulTrials {
        std::vector<TrialFailure> failures;
    };
    // Glob detection asked for a cluster count with a bound below two.
    struct GlobCountBound {
        std::size_t max_k = 0;
    };

    std::variant<LengthMismatch, TooFewEmbeddings, ProjectionFailed, UnknownCategory, UnknownId, NoSuccessfulTrials,
                 GlobCountBound>
        kind;

    static PipelineError length_mismatch(std::size_t categories, std::size_t embeddings) {
        return {LengthMismatch{categories, embeddings}};
    }
    static PipelineError too_few_embeddings(std::size_t n) { return {TooFewEmbeddings{n}}; }
    static PipelineError projection_failed(ProjectionError inner) { return {ProjectionFailed{inner}}; }
    static PipelineError unknown_category(std::string category) { return {UnknownCategory{std::move(category)}}; }
    static PipelineError unknown_id(std::string id) { return {UnknownId{std::move(id)}}; }
    static PipelineError glob_count_bound(std::size_t max_k) { return {GlobCountBound{max_k}}; }
    static PipelineError no_successful_trials(std::vector<TrialFailure> failures) {
        return {NoSuccessfulTrials{std::move(failures)}};
    }

    [[nodiscard]] std::string message() const;
};

}  // namespace vantorel::embed
