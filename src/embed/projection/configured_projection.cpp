#include "embed/projection/configured_projection.hpp"

namespace vantorel::embed {

core::SphericalPoint ConfiguredProjection::project(std::span<const double> e) const {
    return std::visit([e](const auto& p) { return p.project(e); }, held_);
}

ProjectedPoint ConfiguredProjection::project_rich(std::span<const double> e) const {
    return std::visit([e](const auto& p) { return p.project_rich(e); }, held_);
}

std::size_t ConfiguredProjection::dimension() const noexcept {
    return std::visit([](const auto& p) -> std::size_t { return p.dimension(); }, held_);
}

double ConfiguredProjection::explained_variance_ratio() const noexcept {
    return std::visit(
        [](const auto& p) -> double {
            using P = std::decay_t<decltype(p)>;
            if constexpr (std::is_same_v<P, LaplacianEigenmapProjection>) {
                return p.connectivity_ratio();
            } else {
                return p.explained_variance_ratio();
            }
        },
        held_);
}

core::Expected<ConfiguredProjection, ProjectionError> fit_projection_for_config(const Corpus& embeddings,
                                                                               const PipelineConfig& config) {
    switch (config.projection_kind) {
        case ProjectionKind::Pca: {
            auto fitted = PcaProjection::fit(embeddings, RadialStrategy::magnitude());
            if (!fitted) return core::Unexpected{fitted.error()};
            fitted->set_volumetric(true);
            return ConfiguredProjection(std::move(fitted).value());
        }
        case ProjectionKind::KernelPca: {
            auto fitted = KernelPcaProjection::fit_impl(embeddings, std::nullopt, RadialStrategy::magnitude());
            if (!fitted) return core::Unexpected{fitted.error()};
            return ConfiguredProjection(std::move(fitted).value());
        }
        case ProjectionKind::LaplacianEigenmap: {
            auto fitted = LaplacianEigenmapProjection::fit_with_params(
                embeddings, static_cast<std::size_t>(config.laplacian.k_neighbors),
                RadialStrategy::magnitude(), config.laplacian.active_threshold);
            if (!fitted) return core::Unexpected{fitted.error()};
            return ConfiguredProjection(std::move(fitted).value());
        }
    }
    core::stop("unknown projection kind");
}

}  // namespace vantorel::embed
