// Routes between categories, nearest categories and drill-down into one
// category: read-only queries of a finished category layer.

#include <algorithm>
#include <cmath>
#include <limits>
#include <queue>

#include "core/distance.hpp"
#include "core/invariant.hpp"
#include "core/numeric.hpp"
#include "embed/category/category_layer.hpp"

namespace vantorel::embed {
namespace {

constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
constexpr std::size_t kBridgesPerStep = 3;
constexpr double kVoronoiNeighborBoost = 1.2;
constexpr double kMinHopConfidence = 0.01;

struct Frontier {
    double distance;
    std::size_t category;
};

// Min-heap order by distance in IEEE total order, ties by category index, so
// equal distances always leave the queue in one order.
struct FartherFirst {
    bool operator()(const Frontier& a, const Frontier& b) const noexcept {
        const auto ka = core::total_order_key(a.distance);
        const auto kb = core::total_order_key(b.distance);
        return ka != kb ? ka > kb : a.category > b.category;
    }
};

struct ShortestPaths {
    std::vector<double> distance;
    std::vector<std::size_t> previous;
};

// Dijkstra from `source`, stopping once `target` is settled; stale queue
// entries are skipped rather than removed.
ShortestPaths dijkstra(const CategoryGraph& graph, std::size_t source, std::size_t target) {
    const std::size_t n = graph.adjacency.size();
    ShortestPaths sp{std::vector<double>(n, std::numeric_limits<double>::infinity()),
                     std::vector<std::size_t>(n, kNone)};
    std::priority_queue<Frontier, std::vector<Frontier>, FartherFirst> queue;
    sp.distance[source] = 0.0;
    queue.push({0.0, source});
    while (!queue.empty()) {
        const Frontier current = queue.top();
        queue.pop();
        if (current.category == target) break;
        if (current.distance > sp.distance[current.category]) continue;
        for (const CategoryEdge& edge : graph.adjacency[current.category]) {
            const std::size_t next = edge.target;
            core::check_index(next, n);
            const double candidate = current.distance + edge.weight;
            if (candidate < sp.distance[next]) {
                sp.distance[next] = candidate;
                sp.previous[next] = current.category;
                queue.push({candidate, next});
            }
        }
    }
    return sp;
}

std::vector<std::size_t> route_to(const ShortestPaths& sp, std::size_t source, std::size_t target) {
    std::vector<std::size_t> route{target};
    for (std::size_t at = target; at != source;) {
        at = sp.previous[at];
        if (at == kNone || route.size() > sp.previous.size()) core::stop("broken predecessor chain in category path");
        route.push_back(at);
    }
    std::ranges::reverse(route);
    return route;
}

double strongest_bridge(const CategoryGraph& graph, std::size_t from, std::size_t to) {
    for (const CategoryEdge& e : graph.adjacency[from]) {
        if (e.target == to) return e.max_bridge_strength;
    }
    return 0.0;
}

// Ascending by distance, NaN last.
bool nearer(const DrillDownResult& a, const DrillDownResult& b) noexcept {
    if (std::isnan(a.distance)) return false;
    if (std::isnan(b.distance)) return true;
    return a.distance < b.distance;
}

std::vector<DrillDownResult> nearest_first(std::vector<DrillDownResult> hits, std::size_t k) {
    std::ranges::stable_sort(hits, nearer);
    hits.resize(std::min(k, hits.size()));
    return hits;
}

}  // namespace

std::optional<CategoryPath> CategoryLayer::category_path(std::string_view source, std::string_view target) const {
    const std::optional<std::size_t> from = index_of(source);
    const std::optional<std::size_t> to = index_of(target);
    if (!from || !to) return std::nullopt;
    if (*from == *to) {
        CategoryPath path{0.0, {}, 1.0};
        path.steps.push_back({*from, summaries_[*from].name, 0.0, {}, 0.0});
        return path;
    }

    const ShortestPaths sp = dijkstra(graph_, *from, *to);
    if (std::isinf(sp.distance[*to])) return std::nullopt;
    const std::vector<std::size_t> route = route_to(sp, *from, *to);

    CategoryPath path{sp.distance[*to], {}, 1.0};
    path.steps.reserve(route.size());
    for (std::size_t k = 0; k < route.size(); ++k) {
        const std::size_t u = route[k];
        CategoryPathStep step{u, summaries_[u].name, sp.distance[u], {}, 0.0};
        if (k + 1 < route.size()) {
            const std::size_t v = route[k + 1];
            const std::span<const BridgeItem> bridges = graph_.bridges_between(u, v);
            step.bridges_to_next.assign(bridges.begin(), bridges.begin() + std::min(bridges.size(), kBridgesPerStep));
            const double boost = spatial_quality_.are_voronoi_neighbors(u, v) ? kVoronoiNeighborBoost : 1.0;
            step.hop_confidence =
                std::fmin(strongest_bridge(graph_, u, v) * spatial_quality_.territorial_factor(u, v) * boost, 1.0);
            path.path_confidence *= std::fmax(step.hop_confidence, kMinHopConfidence);
        }
        path.steps.push_back(std::move(step));
    }
    return path;
}

std::vector<std::reference_wrapper<const CategorySummary>> CategoryLayer::category_neighbors(std::string_view name,
                                                                                           std::size_t k) const {
    const std::optional<std::size_t> c = index_of(name);
    if (!c) return {};
    const std::vector<CategoryEdge>& edges = graph_.adjacency[*c];
    std::vector<std::reference_wrapper<const CategorySummary>> out;
    const std::size_t count = std::min(k, edges.size());
    out.reserve(count);
    for (std::size_t e = 0; e < count; ++e) out.emplace_back(core::at_checked(summaries_, edges[e].target));
    return out;
}

std::vector<DrillDownResult> CategoryLayer::drill_down_with_projection(std::string_view name,
                                                                       std::span<const double> query,
                                                                       const ConfiguredProjection& projection,
                                                                       std::size_t k) const {
    const std::optional<std::size_t> c = index_of(name);
    if (!c) return {};
    std::vector<DrillDownResult> hits;
    if (const std::optional<InnerSphere>& sphere = inner_spheres_[*c]) {
        const core::SphericalPoint q =
            std::visit([query](const auto& p) { return p.project(query); }, sphere->projection);
        hits.reserve(sphere->projected.size());
        for (std::size_t j = 0; j < sphere->projected.size(); ++j) {
            hits.push_back({sphere->members[j], core::angular_distance(q, sphere->projected[j]), true});
        }
        return nearest_first(std::move(hits), k);
    }
    const core::SphericalPoint q = projection.project(query);
    const std::vector<std::size_t>& members = summaries_[*c].members;
    hits.reserve(members.size());
    for (const std::size_t m : members) hits.push_back({m, core::angular_distance(positions_[m], q), false});
    return nearest_first(std::move(hits), k);
}

}  // namespace vantorel::embed
