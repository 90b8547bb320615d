#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace vantorel::embed {

// Positions of the entries of a key-value list (pairs whose `first` is the
// key) in an open-addressing table keyed by the entries' keys, so that a long
// list is built and searched in linear time while it keeps its own order.
// The list itself is passed to each call; the table holds positions only.
// Slots keep the key's hash, so growing never rereads a key and a probe
// compares keys only when the hashes agree.
class KeyPositions {
public:
    [[nodiscard]] bool empty() const noexcept { return count_ == 0; }

    // Records entries[last]; gives the position of an earlier recorded entry
    // with the same key when there is one (and then records nothing).
    template <class Entries>
    std::optional<std::size_t> add_last(const Entries& entries, std::size_t last) {
        if (2 * (count_ + 1) > slots_.size()) grow();
        const std::string_view key = entries[last].first;
        const std::size_t hash = std::hash<std::string_view>{}(key);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot& slot = slots_[i];
            if (slot.position == kEmpty) {
                slot = {hash, last};
                ++count_;
                return std::nullopt;
            }
            if (slot.hash == hash && std::string_view(entries[slot.position].first) == key) return slot.position;
        }
    }

    // The position of the recorded entry whose key is `key`.
    template <class Entries>
    [[nodiscard]] std::optional<std::size_t> find(const Entries& entries, std::string_view key) const {
        if (slots_.empty()) return std::nullopt;
        const std::size_t hash = std::hash<std::string_view>{}(key);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot& slot = slots_[i];
            if (slot.position == kEmpty) return std::nullopt;
            if (slot.hash == hash && std::string_view(entries[slot.position].first) == key) return slot.position;
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

    std::vector<Slot> slots_;
    std::size_t count_ = 0;
};

}  // namespace vantorel::embed
