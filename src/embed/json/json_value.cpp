#include "embed/json/json_value.hpp"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#include <variant>

namespace vantorel::embed {
namespace {

using Json = nlohmann::ordered_json;
using Entries = Json::object_t;
// The entries as a plain vector: the map's own lookups scan every key.
using EntryList = Entries::Container;

// Small objects look their keys up by a scan; past this many entries a hash
// table of entry positions keeps a long object linear to build.
constexpr std::size_t kScanLimit = 16;

// Positions of an object's entries in an open-addressing table keyed by the
// entries' keys. Slots keep the key's hash, so growing never rereads a key
// and a probe compares keys only when the hashes agree.
class KeyPositions {
public:
    explicit KeyPositions(const EntryList& entries) : entries_(entries) {}

    [[nodiscard]] bool empty() const noexcept { return count_ == 0; }

    // Records the last entry; gives the position of an earlier entry with
    // the same key when there is one.
    std::optional<std::size_t> add_last(std::size_t last) {
        if (2 * (count_ + 1) > slots_.size()) grow();
        const std::string& key = entries_[last].first;
        const std::size_t hash = std::hash<std::string_view>{}(key);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot& slot = slots_[i];
            if (slot.position == kEmpty) {
                slot = {hash, last};
                ++count_;
                return std::nullopt;
            }
            if (slot.hash == hash && entries_[slot.position].first == key) return slot.position;
        }
    }

private:
    struct Slot {
        std::size_t hash = 0;
        std::size_t position = kEmpty;
    };
    static constexpr std::size_t kEmpty = static_cast<std::size_t>(-1);

    void grow() {
        std::vector<Slot> old = std::exchange(slots_, std::vector<Slot>(std::max<std::size_t>(64, 2 * slots_.size())));
        const std::size_t mask = slots_.size() - 1;
        for (const Slot& slot : old) {
            if (slot.position == kEmpty) continue;
            std::size_t i = slot.hash & mask;
            while (slots_[i].position != kEmpty) i = (i + 1) & mask;
            slots_[i] = slot;
        }
    }

    const EntryList& entries_;
    std::vector<Slot> slots_;
    std::size_t count_ = 0;
};

// Appends one entry, or gives its value to the earlier entry of that key.
class ObjectBuilder {
public:
    explicit ObjectBuilder(Entries& entries) : entries_(entries), positions_(entries_) {}

    void add(std::string&& key, Json&& value) {
        entries_.emplace_back(std::move(key), std::move(value));
        const std::size_t last = entries_.size() - 1;
        const auto earlier = find_earlier(last);
        if (!earlier) return;
        entries_[*earlier].second = std::move(entries_[last].second);
        entries_.pop_back();
    }

private:
    std::optional<std::size_t> find_earlier(std::size_t last) {
        if (positions_.empty()) {
            if (last < kScanLimit) {
                for (std::size_t i = 0; i < last; ++i) {
                    if (entries_[i].first == entries_[last].first) return i;
                }
                return std::nullopt;
            }
            for (std::size_t i = 0; i < last; ++i) positions_.add_last(i);
        }
        return positions_.add_last(last);
    }

    EntryList& entries_;
    KeyPositions positions_;
};

}  // namespace

nlohmann::ordered_json read_value(JsonReader& r) {
    switch (r.peek()) {
        case JsonKind::Null: r.read_null(); return nullptr;
        case JsonKind::Bool: return r.read_bool();
        case JsonKind::Number:
            return std::visit([](auto v) { return nlohmann::ordered_json(v); }, r.read_number());
        case JsonKind::String: return r.read_string();
        case JsonKind::Array: {
            auto array = nlohmann::ordered_json::array();
            if (!r.begin_array("a sequence")) return array;
            while (r.next_element()) array.push_back(read_value(r));
            r.end_array();
            return array;
        }
        case JsonKind::Object: {
            auto object = nlohmann::ordered_json::object();
            if (!r.begin_object("a map")) return object;
            ObjectBuilder builder(object.get_ref<Entries&>());
            while (auto key = r.next_key()) builder.add(std::move(*key), read_value(r));
            r.end_object();
            return object;
        }
        case JsonKind::Invalid:
        case JsonKind::End:
            // Skipping reports what stands there: nothing, or no value.
            r.skip_value();
            return nullptr;
    }
    return nullptr;
}

core::Expected<nlohmann::ordered_json, JsonError> parse_value(std::string_view text) {
    JsonReader r(text);
    auto value = read_value(r);
    r.finish();
    if (!r.ok()) return core::Unexpected{r.error()};
    return value;
}

}  // namespace vantorel::embed
