#include "embed/category/inner_sphere.hpp"

#include <utility>

#include "core/interrupt.hpp"
#include "core/numeric.hpp"
#include "core/parallel.hpp"

namespace vantorel::embed {
namespace {

Corpus member_rows(const Corpus& embeddings, std::span<const std::size_t> members) {
    const std::size_t dim = embeddings[members.front()].size();
    std::vector<double> values;
    values.reserve(members.size() * dim);
    for (const std::size_t m : members) {
        const std::span<const double> row = embeddings.row(m);
        values.insert(values.end(), row.begin(), row.end());
    }
    return Corpus::uniform(std::move(values), members.size(), dim);
}

double mean_certainty(const Corpus& rows, const ConfiguredProjection& projection) {
    double sum = 0.0;
    for (std::size_t i = 0; i < rows.size(); ++i) sum += projection.project_rich(rows[i]).certainty;
    return sum / static_cast<double>(rows.size());
}

core::SphericalPoint project_inner(const InnerProjection& projection, std::span<const double> e) {
    return std::visit([e](const auto& p) { return p.project(e); }, projection);
}

struct InnerChoice {
    InnerProjection projection;
    double evr;
};

// A category's linear inner sphere, when the category qualifies for one.
struct LinearCandidate {
    PcaProjection pca;
    double pca_evr;
    double global_evr;
};

// The margin over the global projection is left to the caller.
std::optional<LinearCandidate> linear_candidate(const Corpus& embeddings, const CategorySummary& summary,
                                                const ConfiguredProjection& global, const InnerSphereConfig& cfg) {
    if (summary.member_count < cfg.min_size || summary.members.empty()) return std::nullopt;
    const Corpus rows = member_rows(embeddings, summary.members);
    const double global_evr = mean_certainty(rows, global);
    auto pca = PcaProjection::fit(rows, RadialStrategy::fixed(1.0));
    if (!pca) return std::nullopt;
    const double pca_evr = pca->explained_variance_ratio();
    return LinearCandidate{std::move(pca).value(), pca_evr, global_evr};
}

// The kernel fit, when it beats the linear one by more than the margin.
std::optional<InnerChoice> kernel_choice(const Corpus& embeddings, const CategorySummary& summary, double pca_evr,
                                         const InnerSphereConfig& cfg) {
    auto kernel = KernelPcaProjection::fit_impl(member_rows(embeddings, summary.members), std::nullopt,
                                                RadialStrategy::fixed(1.0));
    if (!kernel) return std::nullopt;
    const double evr = kernel->explained_variance_ratio();
    if (!(evr > pca_evr + cfg.min_kernel_improvement)) return std::nullopt;
    return InnerChoice{std::move(kernel).value(), evr};
}

InnerSphere make_sphere(const Corpus& embeddings, const CategorySummary& summary, InnerChoice choice,
                        double global_evr) {
    InnerSphere sphere{std::move(choice.projection), {}, summary.members, choice.evr, global_evr, 0.0};
    sphere.evr_improvement = sphere.inner_evr - sphere.global_subset_evr;
    sphere.projected.reserve(summary.members.size());
    for (const std::size_t m : summary.members) {
        sphere.projected.push_back(project_inner(sphere.projection, embeddings.row(m)));
    }
    return sphere;
}

// Categories whose kernel fits run together: consecutive runs whose kernel
// matrices add up to at most the allowance of a single one, so concurrent
// fits never hold more memory than one large fit would.
std::vector<std::vector<std::size_t>> kernel_batches(std::span<const std::size_t> categories,
                                                     std::span<const CategorySummary> summaries) {
    std::vector<std::vector<std::size_t>> batches;
    std::uint64_t bytes = 0;
    for (const std::size_t c : categories) {
        const std::uint64_t m = summaries[c].members.size();
        const std::uint64_t need = core::saturating_mul(core::saturating_mul(m, m), sizeof(double));
        if (batches.empty() || core::saturating_add(bytes, need) > kInnerKernelMatrixBytes) {
            batches.emplace_back();
            bytes = 0;
        }
        batches.back().push_back(c);
        bytes = core::saturating_add(bytes, need);
    }
    return batches;
}

}  // namespace

std::string_view inner_projection_name(const InnerProjection& projection) noexcept {
    return std::holds_alternative<PcaProjection>(projection) ? "LinearPca" : "KernelPca";
}

bool inner_kernel_fits(std::size_t members) noexcept {
    const std::uint64_t m = members;
    return core::saturating_mul(core::saturating_mul(m, m), sizeof(double)) <= kInnerKernelMatrixBytes;
}

// Fits run across categories at once; each category's result depends on its
// own members only, so neither the thread count nor the batching shows. With
// a margin, categories that miss it are dropped before their costly fits.
std::vector<std::optional<InnerSphereCandidate>> inner_sphere_candidates(const Corpus& embeddings,
                                                                         std::span<const CategorySummary> summaries,
                                                                         const ConfiguredProjection& global,
                                                                         const InnerSphereConfig& cfg,
                                                                         std::optional<double> margin) {
    const std::size_t n = summaries.size();
    std::vector<std::optional<LinearCandidate>> linear(n);
    core::for_each_index(n, [&](std::size_t c) {
        linear[c] = linear_candidate(embeddings, summaries[c], global, cfg);
        if (linear[c] && margin && linear[c]->pca_evr - linear[c]->global_evr < *margin) linear[c].reset();
    });

    std::vector<std::size_t> kernel_candidates;
    for (std::size_t c = 0; c < n; ++c) {
        const std::size_t m = summaries[c].members.size();
        if (linear[c] && m >= cfg.kernel_pca_min_size && inner_kernel_fits(m)) kernel_candidates.push_back(c);
    }
    std::vector<std::optional<InnerChoice>> choices(n);
    for (const std::vector<std::size_t>& batch : kernel_batches(kernel_candidates, summaries)) {
        core::check_interrupt();
        core::for_each_index(batch.size(), [&](std::size_t b) {
            const std::size_t c = batch[b];
            choices[c] = kernel_choice(embeddings, summaries[c], linear[c]->pca_evr, cfg);
        });
    }

    std::vector<std::optional<InnerSphereCandidate>> out(n);
    core::for_each_index(n, [&](std::size_t c) {
        if (!linear[c]) return;
        const double improvement = linear[c]->pca_evr - linear[c]->global_evr;
        if (!choices[c]) choices[c].emplace(InnerChoice{std::move(linear[c]->pca), linear[c]->pca_evr});
        out[c].emplace(InnerSphereCandidate{
            make_sphere(embeddings, summaries[c], std::move(*choices[c]), linear[c]->global_evr), improvement});
    });
    return out;
}

std::vector<std::optional<InnerSphere>> select_inner_spheres(
    std::span<const std::optional<InnerSphereCandidate>> candidates, double min_evr_improvement) {
    std::vector<std::optional<InnerSphere>> spheres(candidates.size());
    for (std::size_t c = 0; c < candidates.size(); ++c) {
        if (candidates[c] && !(candidates[c]->linear_improvement < min_evr_improvement)) {
            spheres[c] = candidates[c]->sphere;
        }
    }
    return spheres;
}


}  // namespace vantorel::embed
