#include "vectordb/top_k.hpp"

namespace vantorel::vectordb {

std::vector<TopK::Kept> TopK::take() {
    std::sort_heap(heap_.begin(), heap_.end(), better);
    std::vector<Kept> kept;
    kept.reserve(heap_.size());
    for (const Slot& s : heap_) kept.push_back({s.position, s.score});
    heap_.clear();
    return kept;
}

}  // namespace vantorel::vectordb
