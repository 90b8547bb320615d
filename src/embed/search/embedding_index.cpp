#include "embed/search/embedding_index.hpp"

#include <algorithm>
#include <functional>
#include <limits>
#include <queue>

#include "core/interrupt.hpp"
#include "core/parallel.hpp"

namespace vantorel::embed {
namespace {

using Edge = Adjacency::Edge;

constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
// Positions searched by one task.
constexpr std::size_t kSearchBlock = 32;
// Hits buffered between merges; bounds the transient memory of a graph build
// whatever the neighbour count.
constexpr std::size_t kBufferedHits = std::size_t{1} << 18;

// Collects the undirected edges in the order they are offered. When position i
// is merged, its row already holds every edge added so far that touches i, so
// stamping those rows answers "seen before" without a set of pairs.
class EdgeMerger {
public:
    explicit EdgeMerger(std::size_t n) : rows_(n), stamp_(n, kNone) {}

    void merge(std::size_t i, std::span<const Edge> hits) {
        auto& row = core::at_checked(rows_, i);
        for (const Edge& e : row) stamp_[e.to] = i;
        for (const Edge& hit : hits) {
            if (hit.to == i || core::at_checked(stamp_, hit.to) == i) continue;
            stamp_[hit.to] = i;
            row.push_back(hit);
            rows_[hit.to].push_back({i, hit.weight});
        }
    }

    [[nodiscard]] std::shared_ptr<const Adjacency> finish() && {
        std::vector<std::size_t> offsets;
        offsets.reserve(rows_.size() + 1);
        offsets.push_back(0);
        for (const auto& row : rows_) offsets.push_back(offsets.back() + row.size());
        std::vector<Edge> edges;
        edges.reserve(offsets.back());
        for (auto& row : rows_) {
            edges.insert(edges.end(), row.begin(), row.end());
            std::vector<Edge>().swap(row);
        }
        return std::make_shared<const Adjacency>(std::move(offsets), std::move(edges));
    }

private:
    std::vector<std::vector<Edge>> rows_;
    std::vector<std::size_t> stamp_;
};

// The hits of one block of consecutive positions, concatenated.
struct BlockHits {
    std::vector<Edge> hits;
    std::vector<std::size_t> counts;  // per position of the block
};

}  // namespace

Adjacency::Adjacency(std::vector<std::size_t> offsets, std::vector<Edge> edges)
    : offsets_(std::move(offsets)), edges_(std::move(edges)) {
    if (offsets_.empty() || offsets_.front() != 0) core::stop("adjacency offsets must start at 0");
    core::check_equal(offsets_.back(), edges_.size(), "adjacency offsets must end at the edge count");
    if (!std::is_sorted(offsets_.begin(), offsets_.end())) core::stop("adjacency offsets must not decrease");
}

std::span<const Edge> Adjacency::neighbours(std::size_t position) const {
    core::check_index(position, size());
    return std::span<const Edge>(edges_).subspan(offsets_[position], offsets_[position + 1] - offsets_[position]);
}

std::shared_ptr<const Adjacency> build_neighbour_graph(std::size_t item_count, std::size_t hits_per_item,
                                                       const NeighbourSearch& search) {
    // Searches run a wave of blocks at a time, in parallel, each block into
    // its own buffer; the merge then takes them in position order.
    const std::size_t per_block = core::saturating_mul(std::max<std::size_t>(hits_per_item, 1), kSearchBlock);
    const std::size_t wave_blocks = std::max<std::size_t>(1, kBufferedHits / per_block);
    const std::size_t wave = wave_blocks * kSearchBlock;
    std::vector<BlockHits> blocks(std::min(wave_blocks, (item_count + kSearchBlock - 1) / kSearchBlock));

    EdgeMerger merger(item_count);
    for (std::size_t start = 0; start < item_count; start += wave) {
        core::check_interrupt();
        const std::size_t end = start + std::min(wave, item_count - start);
        const std::size_t count = (end - start + kSearchBlock - 1) / kSearchBlock;
        core::for_each_index(count, [&](std::size_t b) {
            BlockHits& block = blocks[b];
            block.hits.clear();
            block.counts.clear();
            const std::size_t first = start + b * kSearchBlock;
            for (std::size_t i = first; i < std::min(end, first + kSearchBlock); ++i) {
                const std::size_t before = block.hits.size();
                search(i, block.hits);
                block.counts.push_back(block.hits.size() - before);
            }
        });
        for (std::size_t b = 0; b < count; ++b) {
            std::span<const Edge> rest = blocks[b].hits;
            const std::size_t first = start + b * kSearchBlock;
            for (std::size_t offset = 0; offset < blocks[b].counts.size(); ++offset) {
                const std::size_t taken = blocks[b].counts[offset];
                merger.merge(first + offset, rest.first(taken));
                rest = rest.subspan(taken);
            }
        }
    }
    return std::move(merger).finish();
}

std::optional<std::vector<RouteStop>> shortest_route(const Adjacency& graph, std::size_t source, std::size_t target) {
    const std::size_t n = graph.size();
    core::check_index(source, n);
    core::check_index(target, n);
    std::vector<double> dist(n, std::numeric_limits<double>::infinity());
    std::vector<std::size_t> prev(n, kNone);

    using Entry = std::pair<double, std::size_t>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> heap;
    dist[source] = 0.0;
    heap.push({0.0, source});
    while (!heap.empty()) {
        const auto [d, u] = heap.top();
        heap.pop();
        if (d > dist[u]) continue;
        if (u == target) break;
        for (const Edge& e : graph.neighbours(u)) {
            const double through = dist[u] + e.weight;
            if (through < dist[e.to]) {
                dist[e.to] = through;
                prev[e.to] = u;
                heap.push({through, e.to});
            }
        }
    }
    if (std::isinf(dist[target])) return std::nullopt;

    std::vector<RouteStop> route;
    for (std::size_t u = target;; u = prev[u]) {
        double hop = 0.0;
        if (prev[u] != kNone) {
            const auto edges = graph.neighbours(prev[u]);
            const auto edge = std::find_if(edges.begin(), edges.end(), [u](const Edge& e) { return e.to == u; });
            if (edge == edges.end()) core::stop("route step without its edge");
            hop = edge->weight;
        }
        route.push_back({u, dist[u], hop});
        if (prev[u] == kNone) break;
    }
    std::reverse(route.begin(), route.end());
    return route;
}

KnnCacheCell& KnnCacheCell::operator=(const KnnCacheCell& other) {
    if (this != &other) {
        auto taken = other.snapshot();
        const std::lock_guard lock(mutex_);
        cache_.swap(taken);
    }
    return *this;
}

std::shared_ptr<const Adjacency> KnnCacheCell::find(std::size_t k, std::size_t item_count) const {
    const std::lock_guard lock(mutex_);
    if (cache_ && cache_->k == k && cache_->adjacency->size() == item_count) return cache_->adjacency;
    return nullptr;
}

// The replaced graph is released after the lock, which it may be the last holder of.
void KnnCacheCell::store(KnnCache cache) {
    std::optional<KnnCache> replaced(std::move(cache));
    const std::lock_guard lock(mutex_);
    cache_.swap(replaced);
}

void KnnCacheCell::clear() {
    std::optional<KnnCache> replaced;
    const std::lock_guard lock(mutex_);
    cache_.swap(replaced);
}

std::optional<KnnCache> KnnCacheCell::snapshot() const {
    const std::lock_guard lock(mutex_);
    return cache_;
}

}  // namespace vantorel::embed
