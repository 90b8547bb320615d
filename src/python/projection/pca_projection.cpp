#include "python/projection/projection.hpp"

namespace vantorel::python {
namespace {

using embed::PcaProjection;

constexpr Param kFitParams[] = {{"embeddings"}, keyword_only("radial", "None"), keyword_only("volumetric", "False")};
constexpr Params kFit{"PcaProjection", "fit", kFitParams};

Ref fit(PyTypeObject*, const Args<kFitParams>& a) {
    const bool volumetric = a.flag<"volumetric">();
    const embed::Corpus corpus = extract_embeddings_2d(a.object<"embeddings">());
    embed::RadialStrategy radial = radial_or_magnitude(a);
    PcaProjection fitted =
        fitted_or_raise(without_gil([&] { return PcaProjection::fit(corpus, std::move(radial)); }));
    if (volumetric) fitted.set_volumetric(true);
    return pca_projection_class().make(std::move(fitted));
}

Ref dimensionality(const PcaProjection& p) { return projection_detail::dimensionality_of(p.dimension()); }
Ref explained_variance_ratio(const PcaProjection& p) { return to_py(p.explained_variance_ratio()); }

std::string repr(const PcaProjection& p) {
    return core::format("PcaProjection(dim={}, explained_variance={:.4})", p.dimension(), p.explained_variance_ratio());
}

}  // namespace

Class<PcaProjection>& pca_projection_class() {
    static Class<PcaProjection> cls("PcaProjection");
    static Class<PcaProjection>& described =
        with_projection_methods(cls.class_method<fit, kFit>())
            .getter<dimensionality>("dimensionality")
            .getter<explained_variance_ratio>("explained_variance_ratio")
            .repr<repr>();
    return described;
}

}  // namespace vantorel::python
