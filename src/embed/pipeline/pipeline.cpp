#include "embed/pipeline/pipeline.hpp"

#include <charconv>

#include "core/conversions.hpp"
#include "core/format.hpp"
#include "core/interrupt.hpp"
#include "core/parallel.hpp"
#include "embed/json/json_writer.hpp"

namespace vantorel::embed {

std::string item_id(std::size_t position) {
    std::string digits = core::format("{}", position);
    if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
    return "s-" + digits;
}

VantorelPipeline::VantorelPipeline(ConfiguredProjection projection, EmbeddingIndex<ConfiguredProjection> index,
                                   std::vector<std::string> categories, std::vector<core::CartesianPoint> points,
                                   std::vector<std::string> ids, CategoryLayer layer,
                                   std::vector<ProjectionWarning> warnings, std::vector<DomainGroup> domain_groups,
                                   PipelineConfig config)
    : projection_(std::move(projection)),
      index_(std::move(index)),
      categories_(std::move(categories)),
      points_(std::move(points)),
      ids_(std::move(ids)),
      category_layer_(std::move(layer)),
      warnings_(std::move(warnings)),
      domain_groups_(std::move(domain_groups)),
      config_(config) {}

VantorelPipeline::Built VantorelPipeline::make(std::vector<std::string> categories, Corpus embeddings) {
    return make_with_config(std::move(categories), std::move(embeddings), PipelineConfig{});
}

VantorelPipeline::Built VantorelPipeline::make_with_config(std::vector<std::string> categories, Corpus embeddings,
                                                           PipelineConfig config) {
    auto fitted = fit_projection_for_config(embeddings, config);
    if (!fitted) return core::Unexpected{PipelineError::projection_failed(fitted.error())};
    // The Laplacian fit takes rows of any length; the category layer cannot.
    if (const std::size_t row = embeddings.first_ragged_row(); row < embeddings.size()) {
        return core::Unexpected{PipelineError::projection_failed(
            ProjectionError::inconsistent_dimension(row, embeddings[0].size(), embeddings[row].size()))};
    }
    return with_configured_projection_and_config(std::move(categories), std::move(embeddings),
                                                 std::move(fitted).value(), config);
}

VantorelPipeline::Built VantorelPipeline::with_projection(std::vector<std::string> categories, Corpus embeddings,
                                                          PcaProjection projection) {
    return with_projection_and_config(std::move(categories), std::move(embeddings), std::move(projection),
                                      PipelineConfig{});
}

VantorelPipeline::Built VantorelPipeline::with_projection_and_config(std::vector<std::string> categories,
                                                                     Corpus embeddings, PcaProjection projection,
                                                                     PipelineConfig config) {
    return with_configured_projection_and_config(std::move(categories), std::move(embeddings),
                                                 ConfiguredProjection(std::move(projection)), config);
}

namespace {

// Items per parallel block of the projections.
constexpr std::size_t kItemsPerBlock = 32;

// The basis of a build; with a margin it serves that margin only.
core::Expected<PipelineBasis, PipelineError> prepare_basis(std::span<const std::string> categories,
                                                           const Corpus& embeddings, ConfiguredProjection projection,
                                                           const PipelineConfig& config,
                                                           std::optional<double> margin) {
    const std::size_t n = embeddings.size();
    if (categories.size() != n) return core::Unexpected{PipelineError::length_mismatch(categories.size(), n)};
    if (n < VantorelPipeline::kMinItems) return core::Unexpected{PipelineError::too_few_embeddings(n)};

    // Shells every 0.1 in radius up to 1, and a 12 × 6 sector grid.
    index::SpatialIndexBuilder grid;
    grid.uniform_shells(10, 1.0);
    EmbeddingIndex<ConfiguredProjection> index =
        EmbeddingIndexBuilder<ConfiguredProjection>{projection, grid}.build();

    // Each item projects on its own, so the projections run in parallel;
    // the index files the items in item order. Every configured kind's
    // `project` is the position of its `project_rich`, so one call serves both.
    std::vector<ProjectedPoint> projected(n);
    std::vector<core::SphericalPoint> positions(n);
    std::vector<core::CartesianPoint> points(n);
    core::for_each_block(n, kItemsPerBlock, [&](std::size_t, std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            projected[i] = projection.project_rich(embeddings[i]);
            positions[i] = projected[i].position;
            points[i] = core::spherical_to_cartesian(positions[i]);
        }
    });
    std::vector<std::string> ids;
    ids.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        core::check_interrupt();
        ids.push_back(item_id(i));
        index.insert_projected(ids.back(), projected[i], embeddings[i]);
    }

    const double evr = projection.explained_variance_ratio();
    CategoryLayer::Basis layer =
        CategoryLayer::prepare(categories, embeddings, positions, projection, config, evr, margin);
    return PipelineBasis{std::move(projection), std::move(index), std::move(ids), std::move(points),
                         std::move(layer)};
}

}  // namespace

core::Expected<PipelineBasis, PipelineError> VantorelPipeline::prepare(std::span<const std::string> categories,
                                                                       const Corpus& embeddings,
                                                                       ConfiguredProjection projection,
                                                                       const PipelineConfig& config) {
    return prepare_basis(categories, embeddings, std::move(projection), config, std::nullopt);
}

VantorelPipeline::Built VantorelPipeline::from_basis(PipelineBasis basis, std::vector<std::string> categories,
                                                     const Corpus& embeddings, const PipelineConfig& config) {
    core::check_equal(categories.size(), embeddings.size(), "categories and embeddings must have equal length");
    const double evr = basis.projection.explained_variance_ratio();
    CategoryLayer layer = CategoryLayer::finish(std::move(basis.layer), embeddings, config);
    std::vector<ProjectionWarning> warnings;
    if (auto warning = grade_projection(evr)) warnings.push_back(std::move(*warning));
    std::vector<DomainGroup> groups = domain_groups::detect_domain_groups(layer, config.routing.num_domain_groups);

    return VantorelPipeline(std::move(basis.projection), std::move(basis.index), std::move(categories),
                            std::move(basis.points), std::move(basis.ids), std::move(layer), std::move(warnings),
                            std::move(groups), config);
}

VantorelPipeline::Built VantorelPipeline::with_configured_projection_and_config(std::vector<std::string> categories,
                                                                                Corpus embeddings,
                                                                                ConfiguredProjection projection,
                                                                                PipelineConfig config) {
    auto basis = prepare_basis(categories, embeddings, std::move(projection), config,
                               config.inner_sphere.min_evr_improvement);
    if (!basis) return core::Unexpected{std::move(basis).error()};
    return from_basis(std::move(basis).value(), std::move(categories), embeddings, config);
}

std::vector<ExportedPoint> VantorelPipeline::exported_points() const {
    std::vector<ExportedPoint> out;
    out.reserve(ids_.size());
    for (std::size_t i = 0; i < ids_.size(); ++i) {
        const EmbeddingItem* item = index_.get(ids_[i]);
        if (item == nullptr) core::stop("indexed item missing from the pipeline's index");
        const core::CartesianPoint& p = points_[i];
        out.push_back({ids_[i], i < categories_.size() ? categories_[i] : "unknown", item->position.r,
                       item->position.theta, item->position.phi, p.x, p.y, p.z, item->projected.certainty,
                       item->projected.intensity});
    }
    return out;
}

std::vector<std::string> VantorelPipeline::unique_categories() const {
    std::vector<std::string> out;
    out.reserve(category_layer_.summaries().size());
    for (const CategorySummary& s : category_layer_.summaries()) out.push_back(s.name);
    return out;
}

std::string VantorelPipeline::cat_for(std::string_view id) const {
    if (id.size() < 3 || !id.starts_with("s-")) return "unknown";
    std::string_view digits = id.substr(2);
    if (digits.front() == '+') digits.remove_prefix(1);
    std::uint64_t n = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    // Digits only, all of them, no overflow (from_chars also refuses a sign).
    if (digits.empty() || digits.front() == '-' || ec != std::errc{} || end != digits.data() + digits.size()) {
        return "unknown";
    }
    return n < categories_.size() ? categories_[n] : "unknown";
}

std::string VantorelPipeline::to_json() const {
    JsonWriter w;
    w.begin_array();
    for (const ExportedPoint& p : exported_points()) {
        w.begin_object();
        w.key("id");
        w.string(p.id);
        w.key("category");
        w.string(p.category);
        for (const auto& [key, value] : {std::pair{"r", p.r}, {"theta", p.theta}, {"phi", p.phi}, {"x", p.x},
                                         {"y", p.y}, {"z", p.z}, {"certainty", p.certainty},
                                         {"intensity", p.intensity}}) {
            w.key(key);
            w.number(value);
        }
        w.end_object();
    }
    w.end_array();
    return w.take();
}

namespace {

void append_csv_text(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

}  // namespace

std::string VantorelPipeline::to_csv() const {
    std::string out = "id,category,r,theta,phi,x,y,z,certainty,intensity\n";
    out.reserve(out.size() + ids_.size() * 120);
    for (const ExportedPoint& p : exported_points()) {
        append_csv_text(out, p.id);
        out += ',';
        append_csv_text(out, p.category);
        for (const double v : {p.r, p.theta, p.phi, p.x, p.y, p.z, p.certainty, p.intensity}) {
            out += ',';
            core::append_fixed(out, v, 6);
        }
        out += '\n';
    }
    return out;
}

}  // namespace vantorel::embed
