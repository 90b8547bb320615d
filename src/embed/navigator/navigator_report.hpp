#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/types.hpp"

// The records of a navigator report. A category's cap is centred on its
// centroid with its angular spread as half-angle.
namespace vantorel::embed::navigator {

struct AntipodalItem {
    std::string category;  // the item's category name
    std::size_t index = 0;
    double distance = 0.0;  // radians from the antipode
};

struct AntipodalReport {
    std::string category_name;
    std::vector<AntipodalItem> antipodal_items;  // ascending distance, ties in item order
    std::optional<std::string> dominant_antipodal_category;
    core::SphericalPoint centroid;
    core::SphericalPoint antipode;
    double antipodal_coherence = 0.0;
};

struct CategoryCapInfo {
    std::string category_name;
    core::SphericalPoint centroid;
    double cap_radius = 0.0;  // the angular spread
    double cap_area = 0.0;
};

struct KnowledgeCoverageReport {
    double coverage_fraction = 0.0;
    double covered_area = 0.0;
    double overlap_area = 0.0;
    std::size_t void_samples = 0;
    std::size_t total_samples = 0;
    std::vector<CategoryCapInfo> caps;  // category-index order
};

struct VoronoiCellReport {
    std::string category_name;
    std::vector<std::string> voronoi_neighbors;  // ascending category index
    double cell_area = 0.0;                      // steradians
    std::size_t item_count = 0;
    double territorial_efficiency = 0.0;  // items per steradian, 0 for a vanishing cell
    double graph_neighbor_overlap = 0.0;  // Jaccard index of Voronoi and bridge-graph neighbours
};

struct VoronoiReport {
    std::vector<VoronoiCellReport> cells;  // category-index order
    double total_area = 0.0;               // about 4π
};

struct OverlapPair {
    std::string category_a;
    std::string category_b;
    double overlap_area = 0.0;
    std::size_t bridge_count = 0;     // bridge items in both directions
    double overlap_per_bridge = 0.0;  // +infinity without bridges
};

struct CategoryExclusivity {
    std::string category_name;
    double cap_area = 0.0;
    double exclusivity = 0.0;
};

struct OverlapReport {
    std::vector<OverlapPair> pairs;                // overlap area descending
    std::vector<CategoryExclusivity> exclusivity;  // category-index order
};

struct CurvatureTriple {
    std::array<std::string, 3> categories;  // ascending category index
    double excess = 0.0;
};

struct CategoryCurvatureSignature {
    std::string category_name;
    double mean_excess = 0.0;
    double max_excess = 0.0;
    double min_excess = 0.0;
};

struct CurvatureReport {
    std::vector<CurvatureTriple> top_triples;             // largest excess first
    std::vector<CategoryCurvatureSignature> signatures;  // category-index order
};

struct LuneReport {
    std::string category_a;
    std::string category_b;
    std::size_t a_leaning_count = 0;
    std::size_t b_leaning_count = 0;
    std::size_t on_bisector_count = 0;
    double asymmetry = 0.0;
    // How far a third centroid reaches past the pair into the middle of their lune.
    double midpoint_intrusion = 0.0;
};

struct NavigatorReport {
    std::vector<AntipodalReport> antipodal;  // category-index order
    KnowledgeCoverageReport coverage;
    VoronoiReport voronoi;
    OverlapReport overlap;
    CurvatureReport curvature;
    std::vector<LuneReport> lunes;
    std::size_t num_categories = 0;
    std::size_t num_items = 0;
    double explained_variance_ratio = 0.0;
};

}  // namespace vantorel::embed::navigator
