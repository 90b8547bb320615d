#include "index/id_table.hpp"

#include <algorithm>

namespace vantorel::index {

Placement IdTable::record(const std::string& id, std::size_t slot, std::size_t shell) {
    auto [it, fresh] = entries_.try_emplace(id);
    Entry& e = it->second;
    if (fresh) {
        e.latest = slot;
        e.latest_shell = shell;
        e.shown = slot;
        e.number = entries_.size() - 1;
        return {slot, e.number, std::nullopt};
    }
    // Until now the id had a single slot, which is the first of its shell.
    if (e.first_by_shell.empty()) e.first_by_shell.emplace_back(e.latest_shell, e.latest);
    auto first = std::find_if(e.first_by_shell.begin(), e.first_by_shell.end(),
                              [shell](const auto& entry) { return entry.first == shell; });
    if (first == e.first_by_shell.end()) {
        e.first_by_shell.emplace_back(shell, slot);
        first = std::prev(e.first_by_shell.end());
    }
    const Placement placed{slot, e.number, e.latest};
    e.latest = slot;
    e.latest_shell = shell;
    e.shown = first->second;
    return placed;
}

std::optional<std::size_t> IdTable::lookup(std::string_view id) const {
    const auto it = entries_.find(id);
    if (it == entries_.end()) return std::nullopt;
    return it->second.shown;
}

}  // namespace vantorel::index
