#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "embed/json/json_value.hpp"
#include "embed/json/key_positions.hpp"

namespace vantorel::vectordb {

using JsonValue = nlohmann::ordered_json;

// Free data of a record: string keys to JSON values, in insertion order so that
// everything derived from it is deterministic. Writing an existing key
// replaces its value in place. Past a few entries a table of positions finds
// keys, so that building and reading a large map stay linear.
class Metadata {
public:
    using Entry = std::pair<std::string, JsonValue>;

    Metadata() = default;
    Metadata(std::initializer_list<Entry> entries) {
        for (const auto& [key, value] : entries) set(key, value);
    }

    void set(std::string key, JsonValue value) {
        if (const auto at = position(key)) {
            entries_[*at].second = std::move(value);
            return;
        }
        entries_.emplace_back(std::move(key), std::move(value));
        if (!positions_.empty()) {
            positions_.add_last(entries_, entries_.size() - 1);
        } else if (entries_.size() > kScanLimit) {
            for (std::size_t i = 0; i < entries_.size(); ++i) positions_.add_last(entries_, i);
        }
    }
    [[nodiscard]] const JsonValue* find(std::string_view key) const {
        const auto at = position(key);
        return at ? &entries_[*at].second : nullptr;
    }

    [[nodiscard]] std::size_t size() const noexcept { return entries_.size(); }
    [[nodiscard]] bool empty() const noexcept { return entries_.empty(); }
    [[nodiscard]] auto begin() const noexcept { return entries_.begin(); }
    [[nodiscard]] auto end() const noexcept { return entries_.end(); }

    friend bool operator==(const Metadata& a, const Metadata& b) { return a.entries_ == b.entries_; }

private:
    // Up to this many entries a scan finds a key faster than the table.
    static constexpr std::size_t kScanLimit = 16;

    [[nodiscard]] std::optional<std::size_t> position(std::string_view key) const {
        if (!positions_.empty()) return positions_.find(entries_, key);
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (entries_[i].first == key) return i;
        }
        return std::nullopt;
    }

    std::vector<Entry> entries_;
    embed::KeyPositions positions_;
};

// One stored item.
struct VectorRecord {
    std::string id;
    std::vector<double> vector;
    Metadata metadata;
};

// One hit of a similarity search; larger scores are more similar.
struct SearchResult {
    std::string id;
    std::optional<std::vector<double>> vector;  // absent when the backend does not return it
    Metadata metadata;
    double score = 0.0;
};

// Entries to merge into one record's metadata, each replacing the entry of its key.
struct PayloadUpdate {
    std::string id;
    Metadata payload;
};

}  // namespace vantorel::vectordb
