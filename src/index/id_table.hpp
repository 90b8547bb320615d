#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vantorel::index {

// Where an insert put an item. Slots count inserts from 0; id numbers count
// distinct ids from 0 in order of first appearance.
struct Placement {
    std::size_t slot = 0;
    std::size_t id_number = 0;
    // The slot of this id's latest insert before this one; none for a new id.
    std::optional<std::size_t> previous;
};

// Id bookkeeping of the shell index. Lookup answers what a scan of the shell
// holding the id's latest insert would find first, without scanning: the
// earliest slot with that id filed in that shell.
class IdTable {
public:
    // Records that `id` was filed at `slot` in `shell`; slots must grow.
    Placement record(const std::string& id, std::size_t slot, std::size_t shell);

    [[nodiscard]] std::optional<std::size_t> lookup(std::string_view id) const;
    [[nodiscard]] std::size_t size() const noexcept { return entries_.size(); }

private:
    struct Entry {
        std::size_t latest = 0;
        std::size_t latest_shell = 0;
        std::size_t shown = 0;
        std::size_t number = 0;
        // (shell, earliest slot) for each shell the id was filed in; kept only
        // once the id repeats, so unique ids cost no allocation.
        std::vector<std::pair<std::size_t, std::size_t>> first_by_shell;
    };

    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
    };

    std::unordered_map<std::string, Entry, TextHash, std::equal_to<>> entries_;
};

}  // namespace vantorel::index
