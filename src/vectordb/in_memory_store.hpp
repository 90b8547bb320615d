#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <shared_mutex>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "embed/embedding.hpp"
#include "vectordb/vector_store.hpp"

namespace vantorel::vectordb {

// All records of one collection in memory, searched by scoring every record
// (brute force). Records are never removed. One reader-writer lock guards the
// records: searches, pages and counts share it, upserts and payload writes
// hold it alone, each for its whole operation.
class InMemoryStore final : public VectorStore {
public:
    // Any dimension is accepted, 0 included; the collection name is never interpreted.
    InMemoryStore(std::string collection, std::uint64_t dimension);

    [[nodiscard]] const std::string& collection() const noexcept { return collection_; }
    [[nodiscard]] std::uint64_t dimension() const noexcept { return dimension_; }

    // In order; a record of the wrong length fails the call, the records before it stay stored.
    // An interrupt (core::Interrupted) stops the call before anything is stored.
    StoreStatus upsert(std::span<const VectorRecord> records) override;
    // Cosine similarity to every record, not clamped; 0 when either norm is below machine epsilon.
    [[nodiscard]] StoreResult<std::vector<SearchResult>> search(std::span<const double> query,
                                                                std::uint64_t k) const override;
    // The cursor is a position in first-insertion order, in decimal; any other text starts at 0.
    [[nodiscard]] StoreResult<Page> list(std::uint64_t limit, std::optional<std::string_view> cursor) const override;
    [[nodiscard]] StoreResult<std::uint64_t> count() const override;
    // Updates for ids not stored are skipped; never fails.
    StoreStatus set_payload(std::span<const PayloadUpdate> updates) override;
    [[nodiscard]] StoreResult<std::optional<VectorRecord>> get(std::string_view id) const override;

private:
    struct Entry {
        std::string id;
        Metadata metadata;
    };
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
    };

    [[nodiscard]] std::span<const double> row(std::size_t position) const noexcept {
        return {vectors_.data() + position * dimension_, dimension_};
    }
    [[nodiscard]] VectorRecord record_at(std::size_t position) const;
    // Under the write lock, for records of the right length.
    void reserve_for(std::span<const VectorRecord> records);
    void place(std::span<const VectorRecord> records);
    void copy_rows(std::span<const VectorRecord> records, std::span<const std::size_t> row_of);

    const std::string collection_;
    const std::size_t dimension_;
    mutable std::shared_mutex mutex_;
    // Entries in the order their ids were first inserted; the vectors are
    // their rows, one block row-major, with each row's norm beside.
    std::vector<Entry> entries_;
    // Grown without zeroing: the copy of an upsert writes every new row.
    std::vector<double, embed::UninitializedAllocator<double>> vectors_;
    std::vector<double> norms_;
    std::unordered_map<std::string, std::size_t, TextHash, std::equal_to<>> position_of_;
};

}  // namespace vantorel::vectordb
