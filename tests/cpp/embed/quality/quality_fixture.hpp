#pragma once

#include "embed/category/category_fixture.hpp"
#include "embed/pipeline/pipeline.hpp"

namespace vantorel::embed::testing {

inline VantorelPipeline clustered_pipeline(std::size_t categories, std::size_t per_category, std::uint64_t seed) {
    const LabelledCorpus corpus = clustered(categories, per_category, 8, 0.6, seed);
    return VantorelPipeline::make_with_config(corpus.labels, corpus.embeddings, quick_config()).value();
}

}  // namespace vantorel::embed::testing
