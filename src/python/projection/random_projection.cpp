#include "python/projection/projection.hpp"

namespace vantorel::python {
namespace {

using embed::RandomProjection;

constexpr Param kNewParams[] = {{"dim"}, keyword_only("radial", "None"), keyword_only("seed", "42")};
constexpr Params kNew{"RandomProjection", "__new__", kNewParams};

RandomProjection construct(const Args<kNewParams>& a) {
    const std::uint64_t dim = a.u64<"dim">();
    const std::uint64_t seed = a.u64<"seed">();
    embed::RadialStrategy radial = radial_or_magnitude(a);
    if (dim < 3) raise_value_error("embedding dimension must be >= 3");
    return RandomProjection::make(static_cast<std::size_t>(dim), std::move(radial), seed);
}

Ref dimensionality(const RandomProjection& p) { return projection_detail::dimensionality_of(p.dimension()); }

std::string repr(const RandomProjection& p) { return core::format("RandomProjection(dim={})", p.dimension()); }

}  // namespace

Class<RandomProjection>& random_projection_class() {
    static Class<RandomProjection> cls("RandomProjection");
    static Class<RandomProjection>& described =
        with_projection_methods(cls.constructor<construct, kNew>()).getter<dimensionality>("dimensionality").repr<repr>();
    return described;
}

}  // namespace vantorel::python
