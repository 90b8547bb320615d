#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/expected.hpp"
#include "vectordb/records.hpp"
#include "vectordb/vector_store_error.hpp"

namespace vantorel::vectordb {

template <class T>
using StoreResult = core::Expected<T, VectorStoreError>;
// The result of an operation that returns nothing on success.
using StoreStatus = StoreResult<std::monostate>;

// One page of `list`; no next cursor when nothing follows it.
struct Page {
    std::vector<VectorRecord> records;
    std::optional<std::string> next_cursor;
};

// What every store offers. Operations run to completion on the calling thread;
// implementations do their own locking, so one store may be used from several
// threads at once.
class VectorStore {
public:
    virtual ~VectorStore() = default;

    // Stores copies of the records, replacing records of the same id whole.
    virtual StoreStatus upsert(std::span<const VectorRecord> records) = 0;
    // At most k hits, most similar first.
    [[nodiscard]] virtual StoreResult<std::vector<SearchResult>> search(std::span<const double> query,
                                                                        std::uint64_t k) const = 0;
    // Up to `limit` records from the position `cursor` names; callers pass back
    // the previous page's next cursor, none for the first page.
    [[nodiscard]] virtual StoreResult<Page> list(std::uint64_t limit, std::optional<std::string_view> cursor) const = 0;
    [[nodiscard]] virtual StoreResult<std::uint64_t> count() const = 0;
    // Merges each update's payload into the metadata of the record of its id.
    virtual StoreStatus set_payload(std::span<const PayloadUpdate> updates) = 0;
    // The record of `id`, if stored.
    [[nodiscard]] virtual StoreResult<std::optional<VectorRecord>> get(std::string_view id) const = 0;
};

}  // namespace vantorel::vectordb
