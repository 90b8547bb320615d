#include "index/composite.hpp"

namespace vantorel::index {

SpatialIndexBuilder& SpatialIndexBuilder::uniform_shells(std::size_t n, double max_r) {
    if (n == 0) return *this;
    const double count = static_cast<double>(n);
    for (std::size_t i = 0; i <= n; ++i) boundaries.push_back((static_cast<double>(i) * max_r) / count);
    return *this;
}

}  // namespace vantorel::index
