#include "embed/category/category_layer.hpp"

#include <utility>

#include "core/distance.hpp"
#include "core/invariant.hpp"

namespace vantorel::embed {
namespace {

// Cells at or below this area count as empty.
constexpr double kMinCellArea = 1e-15;

struct Grouping {
    CategoryLayer::NameMap name_to_index;
    std::vector<std::string> names;
    std::vector<std::vector<std::size_t>> members;
};

Grouping group_items(std::span<const std::string> categories) {
    Grouping g;
    for (std::size_t item = 0; item < categories.size(); ++item) {
        const auto [it, inserted] = g.name_to_index.try_emplace(categories[item], g.names.size());
        if (inserted) {
            g.names.push_back(categories[item]);
            g.members.emplace_back();
        }
        g.members[it->second].push_back(item);
    }
    return g;
}

// Component-wise means of each category's members, summed in member order.
std::vector<std::vector<double>> mean_embeddings(const Corpus& embeddings, const Grouping& g) {
    const std::size_t dim = embeddings.empty() ? 0 : embeddings[0].size();
    std::vector<std::vector<double>> means(g.names.size(), std::vector<double>(dim, 0.0));
    for (std::size_t c = 0; c < means.size(); ++c) {
        std::vector<double>& mean = means[c];
        for (const std::size_t m : g.members[c]) {
            const std::span<const double> e = embeddings.row(m);
            core::check_equal(e.size(), dim, "every embedding must have the first embedding's length");
            for (std::size_t k = 0; k < dim; ++k) mean[k] += e[k];
        }
        const auto count = static_cast<double>(g.members[c].size());
        for (double& v : mean) v /= count;
    }
    return means;
}

double mean_angle_from(const core::SphericalPoint& centre, std::span<const std::size_t> members,
                       std::span<const core::SphericalPoint> positions) {
    if (members.size() <= 1) return 0.0;
    double sum = 0.0;
    for (const std::size_t m : members) sum += core::angular_distance(positions[m], centre);
    return sum / static_cast<double>(members.size());
}

std::vector<CategorySummary> summarise(Grouping& g, const Corpus& embeddings,
                                       std::span<const core::SphericalPoint> positions,
                                       const ConfiguredProjection& projection) {
    std::vector<std::vector<double>> means = mean_embeddings(embeddings, g);
    std::vector<CategorySummary> out(g.names.size());
    for (std::size_t c = 0; c < out.size(); ++c) {
        CategorySummary& s = out[c];
        s.name = std::move(g.names[c]);
        s.members = std::move(g.members[c]);
        s.mean_embedding = std::move(means[c]);
        s.centroid = projection.project(s.mean_embedding);
        s.angular_spread = mean_angle_from(s.centroid, s.members, positions);
        s.cohesion = 1.0 / (s.angular_spread + 1.0);
        s.member_count = s.members.size();
    }
    return out;
}

void copy_spatial_figures(const SpatialQuality& q, std::vector<CategorySummary>& summaries) {
    for (std::size_t c = 0; c < summaries.size(); ++c) {
        CategorySummary& s = summaries[c];
        s.cap_area = core::at_checked(q.cap_areas, c);
        s.exclusivity = core::at_checked(q.exclusivity, c);
        s.cell_area = c < q.voronoi_cells.size() ? q.voronoi_cells[c].area : 0.0;
        s.territorial_efficiency =
            s.cell_area > kMinCellArea ? static_cast<double>(s.member_count) / s.cell_area : 0.0;
    }
}

void set_bridge_quality(const CategoryGraph& graph, const SpatialQuality& q, std::vector<CategorySummary>& summaries) {
    for (std::size_t c = 0; c < summaries.size(); ++c) {
        const std::vector<CategoryEdge>& edges = core::at_checked(graph.adjacency, c);
        if (edges.empty()) {
            summaries[c].bridge_quality = 0.0;
            continue;
        }
        double sum = 0.0;
        for (const CategoryEdge& e : edges) sum += q.territorial_factor(c, e.target) * e.mean_bridge_strength;
        summaries[c].bridge_quality = sum / static_cast<double>(edges.size());
    }
}

}  // namespace

CategoryLayer::Basis CategoryLayer::prepare(std::span<const std::string> categories, const Corpus& embeddings,
                                            std::span<const core::SphericalPoint> positions,
                                            const ConfiguredProjection& projection, const PipelineConfig& config,
                                            double evr, std::optional<double> margin) {
    core::check_equal(categories.size(), embeddings.size(), "categories and embeddings must have equal length");
    core::check_equal(categories.size(), positions.size(), "categories and positions must have equal length");

    Basis basis;
    Grouping grouping = group_items(categories);
    basis.name_to_index = std::move(grouping.name_to_index);
    basis.summaries = summarise(grouping, embeddings, positions, projection);

    std::vector<core::SphericalPoint> centroids;
    std::vector<double> spreads;
    for (const CategorySummary& s : basis.summaries) {
        centroids.push_back(s.centroid);
        spreads.push_back(s.angular_spread);
    }
    basis.spatial_quality = SpatialQuality::compute_with_config(centroids, spreads, config, evr);
    copy_spatial_figures(basis.spatial_quality, basis.summaries);
    basis.inner_candidates =
        inner_sphere_candidates(embeddings, basis.summaries, projection, config.inner_sphere, margin);
    basis.positions.assign(positions.begin(), positions.end());
    return basis;
}

CategoryLayer CategoryLayer::finish(Basis basis, const Corpus& embeddings, const PipelineConfig& config) {
    CategoryLayer layer;
    layer.name_to_index_ = std::move(basis.name_to_index);
    layer.summaries_ = std::move(basis.summaries);
    layer.spatial_quality_ = std::move(basis.spatial_quality);
    layer.spatial_quality_.bridge_threshold_factor =
        threshold_factor_of(layer.spatial_quality_.alpha, config.bridges);

    layer.graph_ = build_graph(layer.summaries_, embeddings, layer.spatial_quality_, config);
    set_bridge_quality(layer.graph_, layer.spatial_quality_, layer.summaries_);
    layer.spatial_quality_.set_bridge_quality_matrix(layer.graph_.adjacency);

    layer.inner_spheres_ = select_inner_spheres(basis.inner_candidates, config.inner_sphere.min_evr_improvement);
    layer.positions_ = std::move(basis.positions);
    return layer;
}

CategoryLayer CategoryLayer::build_with_config(std::span<const std::string> categories, const Corpus& embeddings,
                                               std::span<const core::SphericalPoint> positions,
                                               const ConfiguredProjection& projection, const PipelineConfig& config,
                                               double evr) {
    return finish(prepare(categories, embeddings, positions, projection, config, evr,
                          config.inner_sphere.min_evr_improvement),
                  embeddings, config);
}

std::optional<std::size_t> CategoryLayer::index_of(std::string_view name) const {
    const auto it = name_to_index_.find(name);
    if (it == name_to_index_.end()) return std::nullopt;
    return it->second;
}

std::vector<InnerSphereReport> CategoryLayer::inner_sphere_stats() const {
    std::vector<InnerSphereReport> out;
    for (std::size_t c = 0; c < inner_spheres_.size(); ++c) {
        const std::optional<InnerSphere>& sphere = inner_spheres_[c];
        if (!sphere) continue;
        out.push_back({summaries_[c].name, inner_projection_name(sphere->projection), c, sphere->members.size(),
                       sphere->inner_evr, sphere->global_subset_evr, sphere->evr_improvement});
    }
    return out;
}

}  // namespace vantorel::embed
