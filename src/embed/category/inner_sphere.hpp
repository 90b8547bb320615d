#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <variant>
#include <vector>

#include "core/types.hpp"
#include "embed/category/category_summary.hpp"
#include "embed/config.hpp"
#include "embed/projection/configured_projection.hpp"
#include "embed/embedding.hpp"
#include "embed/projection/kernel_pca.hpp"
#include "embed/projection/pca_projection.hpp"

namespace vantorel::embed {

// The private projection of a category that the global one serves poorly.
using InnerProjection = std::variant<PcaProjection, KernelPcaProjection>;

// "LinearPca" or "KernelPca".
std::string_view inner_projection_name(const InnerProjection& projection) noexcept;

struct InnerSphere {
    InnerProjection projection;
    std::vector<core::SphericalPoint> projected;  // the members under `projection`, in member order
    std::vector<std::size_t> members;
    double inner_evr = 0.0;
    double global_subset_evr = 0.0;  // mean certainty of the members under the global projection
    double evr_improvement = 0.0;    // inner_evr − global_subset_evr
};

// Memory allowed for the m × m matrix of an inner kernel PCA fit.
inline constexpr std::uint64_t kInnerKernelMatrixBytes = std::uint64_t{1} << 30;

// Whether a kernel PCA over `members` rows keeps its matrix within that
// allowance; larger categories keep their linear inner sphere.
bool inner_kernel_fits(std::size_t members) noexcept;

// A category's inner sphere before the margin decides whether it gets one:
// everything but `min_evr_improvement` has been applied.
struct InnerSphereCandidate {
    InnerSphere sphere;
    double linear_improvement = 0.0;  // PCA evr − mean certainty under the global projection
};

// Per category, the inner sphere it would earn with any margin (or only with
// `margin`, when given): a linear one when a PCA of its members exists, a
// kernel one when that beats the linear fit in turn. Reads every field of
// `cfg` but `min_evr_improvement`.
std::vector<std::optional<InnerSphereCandidate>> inner_sphere_candidates(const Corpus& embeddings,
                                                                         std::span<const CategorySummary> summaries,
                                                                         const ConfiguredProjection& global,
                                                                         const InnerSphereConfig& cfg,
                                                                         std::optional<double> margin);

// The candidates whose linear fit beats the global projection by the margin.
std::vector<std::optional<InnerSphere>> select_inner_spheres(
    std::span<const std::optional<InnerSphereCandidate>> candidates, double min_evr_improvement);


}  // namespace vantorel::embed
