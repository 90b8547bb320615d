#pragma once

#include <cstddef>
#include <string>
#include <variant>

namespace vantorel::embed {

// Why a corpus cannot be profiled: bad input, reported to the caller.
struct CorpusFeaturesError {
    struct EmptyCorpus {};
    struct ZeroDimension {};
    // Row `index` has `dimension` components where the first row has `expected`.
    struct RaggedEmbedding {
        std::size_t index = 0;
        std::size_t dimension = 0;
        std::size_t expected = 0;
    };

    std::variant<EmptyCorpus, ZeroDimension, RaggedEmbedding> kind;

    [[nodiscard]] std::string message() const;
};

}  // namespace vantorel::embed
