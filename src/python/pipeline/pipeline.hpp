#pragma once

#include <cstddef>

#include "embed/pipeline/pipeline.hpp"
#include "python/runtime/classes.hpp"
#include "python/runtime/gil.hpp"

namespace vantorel::python {

// A built engine pipeline and the embedding dimension every query must have
// (the length of the first input embedding, 0 for none).
struct PyPipeline {
    embed::VantorelPipeline engine;
    std::size_t dimension = 0;
};

Class<PyPipeline>& pipeline_class();

// The query methods, each group added to the class in its member order.
Class<PyPipeline>& with_item_queries(Class<PyPipeline>& cls);
Class<PyPipeline>& with_category_queries(Class<PyPipeline>& cls);

// Runs an engine query without the interpreter lock and unwraps its answer of
// kind `Out`, raising the engine error's text or "unexpected output type".
template <class Out>
Out run_query(const PyPipeline& self, const embed::PipelineQuery& query, std::span<const double> embedding) {
    auto answer = without_gil([&] { return self.engine.query(query, embedding); });
    if (!answer) raise_value_error(answer.error().message());
    auto* out = std::get_if<Out>(&answer.value());
    if (out == nullptr) raise_value_error("unexpected output type");
    return std::move(*out);
}

}  // namespace vantorel::python
