#include "index/shell.hpp"

#include <algorithm>

#include "core/numeric.hpp"

namespace vantorel::index {

ShellBounds::ShellBounds(std::vector<double> boundaries) : boundaries_(std::move(boundaries)) {
    std::stable_sort(boundaries_.begin(), boundaries_.end(), core::total_order_less);
    // Equality, not the total order, decides duplicates: +0.0 after -0.0 goes,
    // NaNs never compare equal and all stay.
    const auto last = std::unique(boundaries_.begin(), boundaries_.end(),
                                  [](double kept, double next) { return next == kept; });
    boundaries_.erase(last, boundaries_.end());
}

std::size_t ShellBounds::shell_of(double r) const noexcept {
    const auto above = std::upper_bound(boundaries_.begin(), boundaries_.end(), r, core::total_order_less);
    return static_cast<std::size_t>(above - boundaries_.begin());
}

}  // namespace vantorel::index
