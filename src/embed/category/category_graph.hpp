#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "embed/category/category_summary.hpp"
#include "embed/config.hpp"
#include "embed/embedding.hpp"
#include "embed/category/spatial_quality.hpp"

namespace vantorel::embed {

enum class BridgeClassification : std::uint8_t { Genuine = 0, OverlapArtifact = 1, Weak = 2 };

// "Genuine", "OverlapArtifact" or "Weak".
std::string_view bridge_classification_name(BridgeClassification c) noexcept;

// A member of one category whose embedding also leans towards another
// category's mean embedding.
struct BridgeItem {
    std::size_t item_index = 0;
    std::size_t source_category = 0;
    std::size_t target_category = 0;
    double affinity_to_source = 0.0;  // cosine with the source category's mean embedding
    double affinity_to_target = 0.0;  // cosine with the target category's mean embedding
    double bridge_strength = 0.0;
    BridgeClassification classification = BridgeClassification::Weak;
};

struct CategoryEdge {
    std::size_t target = 0;
    double centroid_distance = 0.0;  // radians
    std::size_t bridge_count = 0;
    double max_bridge_strength = 0.0;
    double mean_bridge_strength = 0.0;
    double weight = 0.0;  // routing cost: finite and non-negative for finite centroid distances
};

// (source category, target category).
using CategoryPair = std::pair<std::size_t, std::size_t>;

struct CategoryGraph {
    // Per category, one edge to every other category, by weight ascending.
    std::vector<std::vector<CategoryEdge>> adjacency;
    // Bridge items of each ordered pair that has any, strongest first. Ordered,
    // so walking it never depends on hashing.
    std::map<CategoryPair, std::vector<BridgeItem>> bridges;

    // The bridge items of (source, target), strongest first; empty when there are none.
    [[nodiscard]] std::span<const BridgeItem> bridges_between(std::size_t source, std::size_t target) const;
};

// Bridge items and weighted edges between the summarised categories. The
// summaries need their members, mean embeddings and centroids; every member's
// embedding must have the mean embeddings' length.
CategoryGraph build_graph(std::span<const CategorySummary> summaries, const Corpus& embeddings,
                          const SpatialQuality& quality, const PipelineConfig& config);

}  // namespace vantorel::embed
