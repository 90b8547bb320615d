#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/expected.hpp"
#include "embed/embedding.hpp"

namespace vantorel::embed {

// The input of a pipeline build given as JSON text.
struct CorpusJson {
    std::vector<std::string> categories;
    Corpus embeddings;
};

// Reads {"categories": [string...], "embeddings": [[number...]...]} (other
// members ignored, a repeated member counting as its last occurrence) in one
// pass over the text, building no tree. The error is the display text: a
// malformed text first, then the first fault in the order categories,
// category elements, embeddings, rows and their elements.
core::Expected<CorpusJson, std::string> read_corpus_json(std::string_view text);

}  // namespace vantorel::embed
