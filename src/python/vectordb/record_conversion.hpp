#pragma once

// Store records from Python values and store answers back to Python: record
// dicts into `VectorRecord`s (metadata values into JSON), JSON metadata into
// Python objects, search hits into dicts, store errors into RuntimeError.
#include <utility>

#include "python/runtime/errors.hpp"
#include "vectordb/vector_store.hpp"

namespace vantorel::python {

// A record from {"id": str, "vector": numbers, "metadata": dict (optional)};
// other keys are ignored. The vector's values are taken as they are.
vectordb::VectorRecord parse_record(PyObject* record);

// A new Python object for a JSON value: integers as int, objects as dicts in
// the object's key order.
Ref json_to_py(const vectordb::JsonValue& value);

// {"id": str, "score": float, "metadata": dict}; the hit's vector stays out.
Ref search_result_to_dict(const vectordb::SearchResult& result);

// RuntimeError carrying the store error's display text.
[[noreturn]] void raise_store_error(const vectordb::VectorStoreError& error);

// The value of a store answer, or its error raised.
template <class T>
T store_value(vectordb::StoreResult<T> answer) {
    if (!answer) raise_store_error(answer.error());
    return std::move(answer).value();
}

}  // namespace vantorel::python
