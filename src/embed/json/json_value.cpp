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

#include "embed/json/key_positions.hpp"

namespace vantorel::embed {
namespace {

using Json = nlohmann::ordered_json;
using Entries = Json::object_t;
// The entries as a plain vector: the map's own lookups scan every key.
using EntryList = Entries::Container;

// Small objects look their keys up by a scan; past this many entries a hash
// table of entry positions keeps a long object linear to build.
constexpr std::size_t kScanLimit = 16;

// Appends one entry, or gives its value to the earlier entry of that key.
class ObjectBuilder {
public:
    explicit ObjectBuilder(Entries& entries) : entries_(entries) {}

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
            for (std::size_t i = 0; i < last; ++i) positions_.add_last(entries_, i);
        }
        return positions_.add_last(entries_, last);
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
