#pragma once

#include <memory>

#include "python/runtime/classes.hpp"
#include "vectordb/in_memory_store.hpp"
#include "vectordb/store_bridge.hpp"

namespace vantorel::python {

// The Python InMemoryStore: one engine store, shared with every bridge made from it.
struct PyInMemoryStore {
    std::shared_ptr<vectordb::InMemoryStore> store;
};

// The Python VectorStoreBridge: one engine bridge over the shared store.
struct PyVectorStoreBridge {
    std::unique_ptr<vectordb::VectorStoreBridge> bridge;
};

Class<PyInMemoryStore>& in_memory_store_class();
Class<PyVectorStoreBridge>& vector_store_bridge_class();

// The pipeline query members, added to the class in their member order.
Class<PyVectorStoreBridge>& with_bridge_queries(Class<PyVectorStoreBridge>& cls);

}  // namespace vantorel::python
