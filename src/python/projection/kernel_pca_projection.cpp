#include "python/projection/projection.hpp"

namespace vantorel::python {
namespace {

using embed::KernelPcaProjection;

constexpr Param kFitParams[] = {{"embeddings"}, keyword_only("sigma", "None"), keyword_only("radial", "None"),
                                keyword_only("volumetric", "False")};
constexpr Params kFit{"KernelPcaProjection", "fit", kFitParams};

Ref fit(PyTypeObject*, const Args<kFitParams>& a) {
    const std::optional<double> sigma = a.optional<"sigma">(to_f64);
    const bool volumetric = a.flag<"volumetric">();
    const embed::Corpus corpus = extract_embeddings_2d(a.object<"embeddings">());
    embed::RadialStrategy radial = radial_or_magnitude(a);
    KernelPcaProjection fitted = fitted_or_raise(without_gil([&] {
        return sigma ? KernelPcaProjection::fit_with_sigma(corpus, std::move(radial), *sigma)
                     : KernelPcaProjection::fit(corpus, std::move(radial));
    }));
    if (volumetric) fitted.set_volumetric(true);
    return kernel_pca_projection_class().make(std::move(fitted));
}

Ref dimensionality(const KernelPcaProjection& p) { return projection_detail::dimensionality_of(p.dimension()); }
Ref explained_variance_ratio(const KernelPcaProjection& p) { return to_py(p.explained_variance_ratio()); }
Ref sigma(const KernelPcaProjection& p) { return to_py(p.sigma()); }
Ref num_training_points(const KernelPcaProjection& p) {
    return to_py(static_cast<std::uint64_t>(p.num_training_points()));
}

std::string repr(const KernelPcaProjection& p) {
    return core::format("KernelPcaProjection(dim={}, sigma={:.4}, explained_variance={:.4})", p.dimension(), p.sigma(),
                        p.explained_variance_ratio());
}

}  // namespace

Class<KernelPcaProjection>& kernel_pca_projection_class() {
    static Class<KernelPcaProjection> cls("KernelPcaProjection");
    static Class<KernelPcaProjection>& described =
        with_projection_methods(cls.class_method<fit, kFit>())
            .getter<dimensionality>("dimensionality")
            .getter<explained_variance_ratio>("explained_variance_ratio")
            .getter<sigma>("sigma")
            .getter<num_training_points>("num_training_points")
            .repr<repr>();
    return described;
}

}  // namespace vantorel::python
