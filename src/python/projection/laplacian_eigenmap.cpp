#include "python/projection/projection.hpp"

namespace vantorel::python {
namespace {

using embed::LaplacianEigenmapProjection;

constexpr Param kFitParams[] = {{"embeddings"}, keyword_only("radial", "None"), keyword_only("k_neighbors", "None"),
                                keyword_only("active_threshold", "None")};
constexpr Params kFit{"LaplacianEigenmap", "fit", kFitParams};

constexpr const char* kFitDoc =
    "Fit a Laplacian-eigenmap projection to a corpus.\n"
    "\n"
    "- `embeddings`: 2-D numpy array (f32/f64) or list-of-lists; needs\n"
    "  at least 4 rows and any positive dimensionality.\n"
    "- `radial`: `\"magnitude\"` (default) or a finite float to fix the\n"
    "  radial coordinate.\n"
    "- `k_neighbors`: density of the sparsified k-NN graph. Higher =\n"
    "  smoother embedding, less noise-sensitivity, but more blurred\n"
    "  category boundaries. Typical range 10–30; defaults to 15.\n"
    "- `active_threshold`: absolute-weight cutoff for the active-axis\n"
    "  filter. Axes with `|v| ≤ threshold` are dropped before computing\n"
    "  Jaccard similarity. Defaults to 0.05.";

Ref fit(PyTypeObject*, const Args<kFitParams>& a) {
    const std::uint64_t k_neighbors = a.optional<"k_neighbors">(to_u64).value_or(15);
    const double active_threshold = a.optional<"active_threshold">(to_f64).value_or(0.05);
    const embed::Corpus corpus = extract_embeddings_2d(a.object<"embeddings">());
    embed::RadialStrategy radial = radial_or_magnitude(a);
    return laplacian_eigenmap_class().make(fitted_or_raise(without_gil([&] {
        return LaplacianEigenmapProjection::fit_with_params(corpus, static_cast<std::size_t>(k_neighbors),
                                                            std::move(radial), active_threshold);
    })));
}

Ref dimensionality(const LaplacianEigenmapProjection& p) { return projection_detail::dimensionality_of(p.dimension()); }
Ref connectivity_ratio(const LaplacianEigenmapProjection& p) { return to_py(p.connectivity_ratio()); }

Ref eigenvalues(const LaplacianEigenmapProjection& p) {
    const auto& ev = p.eigenvalues();
    Ref a = to_py(ev[0]);
    Ref b = to_py(ev[1]);
    Ref c = to_py(ev[2]);
    return Ref::steal(PyTuple_Pack(3, a.get(), b.get(), c.get()));
}

std::string repr(const LaplacianEigenmapProjection& p) {
    const auto& ev = p.eigenvalues();
    return core::format("LaplacianEigenmap(dim={}, connectivity={:.4}, eigenvalues=[{:.3}, {:.3}, {:.3}])",
                        p.dimension(), p.connectivity_ratio(), ev[0], ev[1], ev[2]);
}

}  // namespace

Class<LaplacianEigenmapProjection>& laplacian_eigenmap_class() {
    static Class<LaplacianEigenmapProjection> cls("LaplacianEigenmap");
    static Class<LaplacianEigenmapProjection>& described =
        with_projection_methods(cls.class_method<fit, kFit>(kFitDoc))
            .getter<dimensionality>("dimensionality")
            .getter<connectivity_ratio>(
                "explained_variance_ratio",
                "Mean of `|μ_k|` across the three retained eigenvalues, in `[0, 1]`.\n"
                "Exposed under the same name as PCA's EVR for adaptive-threshold\n"
                "compatibility — but the two quantities have distinct meaning.")
            .getter<connectivity_ratio>("connectivity_ratio",
                                        "Same scalar as `explained_variance_ratio`, but under the\n"
                                        "spectrally-accurate name.")
            .getter<eigenvalues>("eigenvalues", "The three retained non-trivial eigenvalues, in descending order.")
            .repr<repr>();
    return described;
}

}  // namespace vantorel::python
