#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace vantorel::vectordb {

// A double as a signed integer that sorts in IEEE total order: -NaN < -inf <
// ... < -0.0 < +0.0 < ... < +inf < +NaN.
inline std::int64_t total_order_key(double x) noexcept {
    const auto bits = std::bit_cast<std::int64_t>(x);
    return bits ^ static_cast<std::int64_t>(static_cast<std::uint64_t>(bits >> 63) >> 1);
}

// The k best of a stream of (position, score) offers, best first: larger
// scores in IEEE total order, equal scores by earlier position. Offers must
// come in increasing position order; the result equals a stable descending
// sort cut to k, without keeping the whole stream.
class TopK {
public:
    explicit TopK(std::size_t k) : k_(k) { heap_.reserve(k); }

    void offer(std::size_t position, double score) {
        if (k_ == 0) return;
        const Slot slot{total_order_key(score), position, score};
        if (heap_.size() < k_) {
            heap_.push_back(slot);
            std::push_heap(heap_.begin(), heap_.end(), better);
        } else if (slot.key > heap_.front().key) {
            // Equal keys lose: the one held came earlier.
            std::pop_heap(heap_.begin(), heap_.end(), better);
            heap_.back() = slot;
            std::push_heap(heap_.begin(), heap_.end(), better);
        }
    }

    struct Kept {
        std::size_t position;
        double score;
    };
    // The kept offers, best first.
    [[nodiscard]] std::vector<Kept> take();

private:
    struct Slot {
        std::int64_t key;
        std::size_t position;
        double score;
    };
    // Ordered by `better`, the heap holds the worst kept slot at its front.
    static bool better(const Slot& a, const Slot& b) noexcept {
        return a.key > b.key || (a.key == b.key && a.position < b.position);
    }

    std::size_t k_;
    std::vector<Slot> heap_;
};

}  // namespace vantorel::vectordb
