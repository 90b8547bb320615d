#pragma once

#include <span>
#include <variant>

#include "core/expected.hpp"
#include "embed/config.hpp"
#include "embed/embedding.hpp"
#include "embed/projection/kernel_pca.hpp"
#include "embed/projection/laplacian.hpp"
#include "embed/projection/pca_projection.hpp"
#include "embed/projection/projection.hpp"

namespace vantorel::embed {

// One fitted projection of the kinds a pipeline can run on; alternatives in
// the order of `ProjectionKind`.
class ConfiguredProjection {
public:
    using Held = std::variant<PcaProjection, KernelPcaProjection, LaplacianEigenmapProjection>;

    explicit ConfiguredProjection(Held held) : held_(std::move(held)) {}

    [[nodiscard]] ProjectionKind kind() const noexcept { return static_cast<ProjectionKind>(held_.index()); }
    [[nodiscard]] const Held& held() const noexcept { return held_; }

    [[nodiscard]] core::SphericalPoint project(std::span<const double> e) const;
    [[nodiscard]] ProjectedPoint project_rich(std::span<const double> e) const;
    // The input length every embedding must have (the Laplacian eigenmap accepts
    // any length but reports the length of its first training row).
    [[nodiscard]] std::size_t dimension() const noexcept;
    // Explained-variance ratio of the held projection; for the Laplacian
    // eigenmap its connectivity ratio, unclamped.
    [[nodiscard]] double explained_variance_ratio() const noexcept;

private:
    Held held_;
};

static_assert(Projection<ConfiguredProjection>);

// Fits the projection family that `config.projection_kind` names, with a
// magnitude radius: a volumetric PCA, a kernel PCA with automatic bandwidth,
// or a Laplacian eigenmap with the config's neighbour count and threshold.
core::Expected<ConfiguredProjection, ProjectionError> fit_projection_for_config(const Corpus& embeddings,
                                                                               const PipelineConfig& config);

}  // namespace vantorel::embed
