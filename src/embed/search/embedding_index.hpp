#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/conversions.hpp"
#include "core/distance.hpp"
#include "core/invariant.hpp"
#include "core/numeric.hpp"
#include "core/types.hpp"
#include "embed/embedding.hpp"
#include "embed/projection/projection.hpp"
#include "index/composite.hpp"

namespace vantorel::embed {

// An indexed embedding: where it projected, and the length of the raw vector.
struct EmbeddingItem {
    ProjectedPoint projected;
    std::string id;
    core::SphericalPoint position;  // equal to projected.position; the spatial index files by it
    double norm = 0.0;
};

template <class T>
struct SpatialQueryResult {
    std::vector<T> items;
    std::size_t total_scanned = 0;
};

struct PathStep {
    std::string id;
    double cumulative_distance = 0.0;
    double hop_distance = 0.0;
    std::optional<double> bridge_strength;
};

struct ConceptPath {
    std::vector<PathStep> steps;
    double total_distance = 0.0;
};

// An undirected neighbour graph over item positions in compressed rows: the
// edges of position i, in the order they were added, are one contiguous run.
class Adjacency {
public:
    struct Edge {
        std::size_t to = 0;
        double weight = 0.0;  // angle in radians
    };

    Adjacency(std::vector<std::size_t> offsets, std::vector<Edge> edges);

    [[nodiscard]] std::size_t size() const noexcept { return offsets_.size() - 1; }
    [[nodiscard]] std::span<const Edge> neighbours(std::size_t position) const;

private:
    std::vector<std::size_t> offsets_;
    std::vector<Edge> edges_;
};

// Appends the hits of one neighbour search, as positions and angles in the
// order found. Called concurrently for different positions.
using NeighbourSearch = std::function<void(std::size_t position, std::vector<Adjacency::Edge>& out)>;

// The neighbour graph of `item_count` positions: every hit (j, d) of position
// i other than i itself adds the edge {i, j} with weight d unless that pair is
// already joined. Positions are searched in parallel and merged in position
// order, so the graph never depends on the thread count. `hits_per_item`
// bounds what one search appends and sizes the buffers.
std::shared_ptr<const Adjacency> build_neighbour_graph(std::size_t item_count, std::size_t hits_per_item,
                                                       const NeighbourSearch& search);

// One position of a shortest path, with the distance walked so far and the
// weight of the edge that led to it (0 for the source).
struct RouteStop {
    std::size_t position = 0;
    double cumulative = 0.0;
    double hop = 0.0;
};

// Dijkstra from source to target, source first; none when the target is
// unreachable. Heap entries order by (distance, position), so equal-distance
// alternatives always resolve the same way.
std::optional<std::vector<RouteStop>> shortest_route(const Adjacency& graph, std::size_t source, std::size_t target);

// A cached neighbour graph and the neighbour count it was built with.
struct KnnCache {
    std::shared_ptr<const Adjacency> adjacency;
    std::size_t k = 0;
};

// The cache of an index behind its lock. Holders of a graph keep their own
// reference, so the lock is held only to look up or replace it. Copies take
// the source's graph under the source's lock; locks are never shared.
class KnnCacheCell {
public:
    KnnCacheCell() = default;
    KnnCacheCell(const KnnCacheCell& other) : cache_(other.snapshot()) {}
    KnnCacheCell& operator=(const KnnCacheCell& other);
    ~KnnCacheCell() = default;

    // The cached graph if it was built with k over item_count positions.
    [[nodiscard]] std::shared_ptr<const Adjacency> find(std::size_t k, std::size_t item_count) const;
    void store(KnnCache cache);
    void clear();
    [[nodiscard]] std::optional<KnnCache> snapshot() const;

private:
    mutable std::mutex mutex_;
    std::optional<KnnCache> cache_;
};

template <Projection P>
class EmbeddingIndex;

// Settings of an embedding index: its projection, shell boundaries and sector grid.
template <Projection P>
struct EmbeddingIndexBuilder {
    P projection;
    index::SpatialIndexBuilder spatial{};

    // Stops the operation when a division count is zero.
    [[nodiscard]] EmbeddingIndex<P> build() && {
        return EmbeddingIndex<P>(std::move(projection), spatial.build<EmbeddingItem>());
    }
};

// Labelled embeddings placed on the sphere by a fitted projection, with
// lookup, a similarity sweep and shortest paths over a cached k-nearest graph.
template <Projection P>
class EmbeddingIndex {
public:
    // Needs exclusive access; drops the cached graph.
    void insert(std::string_view id, std::span<const double> embedding) {
        insert_projected(id, projection_.project_rich(embedding), embedding);
    }
    // `insert` with the embedding's `project_rich` image already at hand.
    void insert_projected(std::string_view id, const ProjectedPoint& projected, std::span<const double> embedding) {
        EmbeddingItem item{projected, std::string(id), projected.position, magnitude(embedding)};
        directions_.push_back(core::unit_vector(item.position));
        spatial_.insert(std::move(item));
        knn_cache_.clear();
    }

    [[nodiscard]] const EmbeddingItem* get(std::string_view id) const { return spatial_.get(id); }

    // Every item within acos(min_cos) of the projected query, in shell order
    // (innermost shell first, insertion order within a shell); a NaN bound
    // keeps nothing.
    [[nodiscard]] SpatialQueryResult<EmbeddingItem> search_similar(std::span<const double> query,
                                                                   double min_cos) const {
        const core::CartesianPoint q = core::unit_vector(projection_.project(query));
        const double max_angle = std::acos(core::clamp_keep_nan(min_cos, -1.0, 1.0));
        const auto& shells = spatial_.shells();
        SpatialQueryResult<EmbeddingItem> result;
        for (const auto& shell : shells.shells()) {
            for (const std::size_t slot : shell) {
                // Same bits as angular_distance: both directions come from unit_vector.
                if (core::angle_between(q, directions_[slot]) <= max_angle) result.items.push_back(shells.at(slot));
            }
        }
        result.total_scanned = shells.size();
        return result;
    }

    // The shortest path from source to target over the graph joining each item
    // to its k nearest by angle, edges weighted by angle. Absent with fewer
    // than 2 items, an unknown id or no connection.
    [[nodiscard]] std::optional<ConceptPath> concept_path(std::string_view source, std::string_view target,
                                                          std::size_t k) const {
        const std::vector<std::size_t> walk = walk_order();
        if (walk.size() < 2) return std::nullopt;
        const auto from = last_position_of(walk, source);
        const auto to = last_position_of(walk, target);
        if (!from || !to) return std::nullopt;

        std::shared_ptr<const Adjacency> graph = knn_cache_.find(k, walk.size());
        if (!graph) {
            graph = build_graph(walk, k);
            knn_cache_.store({graph, k});
        }
        const auto route = shortest_route(*graph, *from, *to);
        if (!route) return std::nullopt;

        ConceptPath path;
        path.steps.reserve(route->size());
        for (const RouteStop& stop : *route) {
            path.steps.push_back({spatial_.shells().at(walk[stop.position]).id, stop.cumulative, stop.hop, std::nullopt});
        }
        path.total_distance = route->back().cumulative;
        return path;
    }

    [[nodiscard]] const P& projection() const noexcept { return projection_; }
    [[nodiscard]] const index::SpatialIndex<EmbeddingItem>& spatial() const noexcept { return spatial_; }
    // The graph currently cached, if any.
    [[nodiscard]] std::shared_ptr<const Adjacency> cached_graph() const {
        const auto cache = knn_cache_.snapshot();
        return cache ? cache->adjacency : nullptr;
    }

private:
    friend struct EmbeddingIndexBuilder<P>;

    EmbeddingIndex(P projection, index::SpatialIndex<EmbeddingItem> spatial)
        : projection_(std::move(projection)), spatial_(std::move(spatial)) {}

    // Slots in shell-walk order; position i of the graph is walk[i].
    [[nodiscard]] std::vector<std::size_t> walk_order() const {
        std::vector<std::size_t> walk;
        walk.reserve(spatial_.shells().size());
        for (const auto& shell : spatial_.shells().shells()) walk.insert(walk.end(), shell.begin(), shell.end());
        return walk;
    }

    // An id shared by several items stands for the last of them in the walk.
    [[nodiscard]] std::optional<std::size_t> last_position_of(std::span<const std::size_t> walk,
                                                              std::string_view id) const {
        for (std::size_t i = walk.size(); i-- > 0;) {
            if (spatial_.shells().at(walk[i]).id == id) return i;
        }
        return std::nullopt;
    }

    [[nodiscard]] std::shared_ptr<const Adjacency> build_graph(std::span<const std::size_t> walk, std::size_t k) const {
        const auto& shells = spatial_.shells();
        std::unordered_map<std::string_view, std::size_t> position_of;
        position_of.reserve(walk.size());
        for (std::size_t i = 0; i < walk.size(); ++i) position_of[shells.at(walk[i]).id] = i;

        // The item itself is normally among its own hits, hence one more.
        const std::size_t hits = core::saturating_add(k, 1);
        const NeighbourSearch search = [&](std::size_t i, std::vector<Adjacency::Edge>& out) {
            for (const auto& hit : spatial_.nearest(shells.at(walk[i]).position, hits)) {
                const auto found = position_of.find(hit.item.id);
                if (found == position_of.end()) core::stop("neighbour id missing from the item walk");
                out.push_back({found->second, hit.distance});
            }
        };
        return build_neighbour_graph(walk.size(), std::min(hits, walk.size()), search);
    }

    P projection_;
    index::SpatialIndex<EmbeddingItem> spatial_;
    // By slot (insertion order): the unit direction of the item's position.
    std::vector<core::CartesianPoint> directions_;
    mutable KnnCacheCell knn_cache_;
};

}  // namespace vantorel::embed
