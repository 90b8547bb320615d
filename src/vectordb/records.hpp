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

namespace vantorel::vectordb {

using JsonValue = nlohmann::ordered_json;

// Free data of a record: string keys to JSON values, in insertion order so that
// everything derived from it is deterministic. Writing an existing key
// replaces its value in place.
class Metadata {
public:
    using Entry = std::pair<std::string, JsonValue>;

    Metadata() = default;
    Metadata(std::initializer_list<Entry> entries) {
        for (const auto& [key, value] : entries) set(key, value);
    }

    void set(std::string key, JsonValue value) {
        const auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.first == key; });
        if (it != entries_.end()) {
            it->second = std::move(value);
        } else {
            entries_.emplace_back(std::move(key), std::move(value));
        }
    }
    [[nodiscard]] const JsonValue* find(std::string_view key) const {
        const auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.first == key; });
        return it == entries_.end() ? nullptr : &it->second;
    }

    [[nodiscard]] std::size_t size() const noexcept { return entries_.size(); }
    [[nodiscard]] bool empty() const noexcept { return entries_.empty(); }
    [[nodiscard]] auto begin() const noexcept { return entries_.begin(); }
    [[nodiscard]] auto end() const noexcept { return entries_.end(); }

    friend bool operator==(const Metadata&, const Metadata&) = default;

private:
    std::vector<Entry> entries_;
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
