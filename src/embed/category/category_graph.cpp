#include "embed/category/category_graph.hpp"

#include <algorithm>
#include <cmath>

#include "core/distance.hpp"
#include "core/invariant.hpp"
#include "core/numeric.hpp"
#include "core/parallel.hpp"

namespace vantorel::embed {
namespace {

// Items per parallel task of the bridge search. Every item is handled whole by
// one task and the tasks' findings are joined in block order, so the block
// size affects speed only.
constexpr std::size_t kItemsPerBlock = 64;
// Neighbouring Voronoi cells make a cheaper edge.
constexpr double kVoronoiNeighborWeight = 0.8;

// The category mean embeddings transposed (one row of category values per
// component), so one sweep over an embedding accumulates its dot product with
// every mean at once, each still summed in index order.
struct MeanTable {
    std::size_t categories = 0;
    std::size_t dim = 0;
    std::vector<double> transposed;
    std::vector<double> norm_sq;  // per category, squares summed in index order
    std::span<const CategorySummary> summaries;  // the means as rows, for sums that overflow
};

MeanTable mean_table(std::span<const CategorySummary> summaries) {
    MeanTable t;
    t.summaries = summaries;
    t.categories = summaries.size();
    t.dim = summaries.empty() ? 0 : summaries[0].mean_embedding.size();
    t.transposed.resize(t.categories * t.dim);
    t.norm_sq.assign(t.categories, 0.0);
    for (std::size_t c = 0; c < t.categories; ++c) {
        const std::vector<double>& mean = summaries[c].mean_embedding;
        core::check_equal(mean.size(), t.dim, "category mean embeddings must share one length");
        for (std::size_t k = 0; k < t.dim; ++k) {
            t.transposed[k * t.categories + c] = mean[k];
            t.norm_sq[c] += mean[k] * mean[k];
        }
    }
    return t;
}

// out[c] = cosine_similarity(e, mean of c), to the bit: the dot products and
// both squared norms are summed in index order exactly as there.
void cosines_with_means(std::span<const double> e, const MeanTable& t, std::span<double> out) {
    core::check_equal(e.size(), t.dim, "embeddings must have the length of the category means");
    const std::size_t n = t.categories;
    std::fill(out.begin(), out.end(), 0.0);
    double norm_sq = 0.0;
    for (std::size_t k = 0; k < t.dim; ++k) {
        const double ek = e[k];
        norm_sq += ek * ek;
        const double* row = t.transposed.data() + k * n;
        for (std::size_t c = 0; c < n; ++c) out[c] += ek * row[c];
    }
    for (std::size_t c = 0; c < n; ++c) {
        const auto cosine = core::cosine_from_sums(out[c], norm_sq, t.norm_sq[c]);
        out[c] = cosine ? *cosine : core::cosine_similarity(e, t.summaries[c].mean_embedding);
    }
}

struct Member {
    std::size_t category = 0;
    std::size_t item = 0;
};

// Every (category, member) in category order, then member order: the order
// in which bridges are created.
std::vector<Member> members_in_order(std::span<const CategorySummary> summaries) {
    std::vector<Member> out;
    for (std::size_t c = 0; c < summaries.size(); ++c) {
        for (const std::size_t m : summaries[c].members) out.push_back({c, m});
    }
    return out;
}

struct BridgeSearch {
    const MeanTable& means;
    const Corpus& embeddings;
    std::span<const double> territorial;  // n × n factors
    double threshold_factor = 0.0;

    void scan(const Member& member, std::span<double> cosines, std::vector<BridgeItem>& out) const {
        const std::size_t n = means.categories;
        const std::size_t i = member.category;
        cosines_with_means(embeddings.row(member.item), means, cosines);
        const double ci = cosines[i];
        const double threshold = threshold_factor * ci;
        for (std::size_t j = 0; j < n; ++j) {
            const double cj = cosines[j];
            if (j == i || !(cj > 0.0 && cj > threshold)) continue;
            const double harmonic = ci + cj > core::kEps ? 2.0 * ci * cj / (ci + cj) : 0.0;
            out.push_back({member.item, i, j, ci, cj, harmonic * territorial[i * n + j], BridgeClassification::Weak});
        }
    }
};

// Bridge items in creation order: source category, then member, then target.
std::vector<BridgeItem> find_bridges(const std::vector<Member>& order, const BridgeSearch& search) {
    const std::size_t blocks = (order.size() + kItemsPerBlock - 1) / kItemsPerBlock;
    std::vector<std::vector<BridgeItem>> found(blocks);
    core::for_each_block(order.size(), kItemsPerBlock, [&](std::size_t b, std::size_t begin, std::size_t end) {
        std::vector<double> cosines(search.means.categories);
        for (std::size_t p = begin; p < end; ++p) search.scan(order[p], cosines, found[b]);
    });
    std::vector<BridgeItem> all;
    for (std::vector<BridgeItem>& block : found) all.insert(all.end(), block.begin(), block.end());
    return all;
}

// Element of rank ⌊count / 2⌋ in IEEE total order; 0 without bridges.
double upper_median_strength(const std::vector<BridgeItem>& bridges) {
    if (bridges.empty()) return 0.0;
    std::vector<double> strengths(bridges.size());
    std::ranges::transform(bridges, strengths.begin(), [](const BridgeItem& b) { return b.bridge_strength; });
    const auto mid = strengths.begin() + static_cast<std::ptrdiff_t>(strengths.size() / 2);
    std::nth_element(strengths.begin(), mid, strengths.end(), core::total_order_less);
    return *mid;
}

// Descending, NaN last; a strict weak order, so the stable sort is well defined.
bool stronger(const BridgeItem& a, const BridgeItem& b) noexcept {
    if (std::isnan(a.bridge_strength)) return false;
    if (std::isnan(b.bridge_strength)) return true;
    return a.bridge_strength > b.bridge_strength;
}

// Ascending, NaN last.
bool lighter(const CategoryEdge& a, const CategoryEdge& b) noexcept {
    if (std::isnan(a.weight)) return false;
    if (std::isnan(b.weight)) return true;
    return a.weight < b.weight;
}

std::vector<double> territorial_table(const SpatialQuality& quality, std::size_t n) {
    std::vector<double> t(n * n);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) t[i * n + j] = quality.territorial_factor(i, j);
    }
    return t;
}

std::vector<double> centroid_distances(std::span<const CategorySummary> summaries) {
    const std::size_t n = summaries.size();
    std::vector<double> d(n * n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            d[i * n + j] = d[j * n + i] = core::angular_distance(summaries[i].centroid, summaries[j].centroid);
        }
    }
    return d;
}

CategoryEdge make_edge(std::size_t target, double distance, std::span<const BridgeItem> bridges, double cut) {
    CategoryEdge e{target, distance, bridges.size(), 0.0, 0.0, 0.0};
    if (!bridges.empty()) {
        double sum = 0.0;
        for (const BridgeItem& b : bridges) sum += b.bridge_strength;
        e.max_bridge_strength = bridges.front().bridge_strength;
        e.mean_bridge_strength = sum / static_cast<double>(bridges.size());
    }
    // Strengths can be negative (an item far from its own category's mean), so
    // the divisor is kept at 1 or more: shortest-path searches need finite,
    // non-negative weights.
    const double divisor = std::fmax(static_cast<double>(e.bridge_count) * e.mean_bridge_strength + 1.0, 1.0);
    e.weight = cut * distance / divisor;
    return e;
}

}  // namespace

std::string_view bridge_classification_name(BridgeClassification c) noexcept {
    switch (c) {
        case BridgeClassification::Genuine:
            return "Genuine";
        case BridgeClassification::OverlapArtifact:
            return "OverlapArtifact";
        case BridgeClassification::Weak:
            return "Weak";
    }
    return "Weak";
}

std::span<const BridgeItem> CategoryGraph::bridges_between(std::size_t source, std::size_t target) const {
    const auto it = bridges.find({source, target});
    if (it == bridges.end()) return {};
    return it->second;
}

CategoryGraph build_graph(std::span<const CategorySummary> summaries, const Corpus& embeddings,
                          const SpatialQuality& quality, const PipelineConfig& config) {
    const std::size_t n = summaries.size();
    const std::vector<double> distances = centroid_distances(summaries);
    const std::vector<double> territorial = territorial_table(quality, n);
    const MeanTable means = mean_table(summaries);
    const BridgeSearch search{means, embeddings, territorial, quality.bridge_threshold_factor};

    std::vector<BridgeItem> found = find_bridges(members_in_order(summaries), search);
    const double median = upper_median_strength(found);
    const double artifact_below = config.bridges.overlap_artifact_territorial;
    CategoryGraph graph;
    for (BridgeItem& b : found) {
        if (territorial[b.source_category * n + b.target_category] < artifact_below) {
            b.classification = BridgeClassification::OverlapArtifact;
        } else {
            b.classification = b.bridge_strength < median ? BridgeClassification::Weak : BridgeClassification::Genuine;
        }
        graph.bridges[{b.source_category, b.target_category}].push_back(b);
    }
    for (auto& [pair, items] : graph.bridges) std::ranges::stable_sort(items, stronger);

    graph.adjacency.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        std::vector<CategoryEdge>& edges = graph.adjacency[i];
        edges.reserve(n - 1);
        for (std::size_t j = 0; j < n; ++j) {
            if (j == i) continue;
            const double cut = quality.are_voronoi_neighbors(i, j) ? kVoronoiNeighborWeight : 1.0;
            edges.push_back(make_edge(j, distances[i * n + j], graph.bridges_between(i, j), cut));
        }
        std::ranges::stable_sort(edges, lighter);
    }
    return graph;
}

}  // namespace vantorel::embed
