// The Python NavigatorConfig: eight settable fields and a short repr.
#include "core/format.hpp"
#include "python/navigator/navigator.hpp"

namespace vantorel::python {
namespace {

using embed::navigator::NavigatorConfig;

// The defaults shown here are the engine record's own defaults.
constexpr Param kFields[] = {
    {"antipodal_radius", "0.5"},     {"coverage_samples", "200000"},   {"geodesic_epsilon", "0.3"},
    {"density_bins", "20"},          {"voronoi_samples", "200000"},    {"exclusivity_samples", "50000"},
    {"curvature_top_n", "20"},       {"gap_sharpness", "5.0"},
};
constexpr Params kNew{"NavigatorConfig", "__new__", kFields};

NavigatorConfig construct(const Args<kFields>& a) {
    NavigatorConfig config;
    config.antipodal_radius = a.f64<"antipodal_radius">();
    config.coverage_samples = a.u64<"coverage_samples">();
    config.geodesic_epsilon = a.f64<"geodesic_epsilon">();
    config.density_bins = a.u64<"density_bins">();
    config.voronoi_samples = a.u64<"voronoi_samples">();
    config.exclusivity_samples = a.u64<"exclusivity_samples">();
    config.curvature_top_n = a.u64<"curvature_top_n">();
    config.gap_sharpness = a.f64<"gap_sharpness">();
    return config;
}

std::string repr(const NavigatorConfig& c) {
    return core::format("NavigatorConfig(coverage_samples={}, voronoi_samples={})", c.coverage_samples,
                        c.voronoi_samples);
}

}  // namespace

Class<NavigatorConfig>& navigator_config_class() {
    static Class<NavigatorConfig> cls("NavigatorConfig");
    static Class<NavigatorConfig>& described = cls.constructor<construct, kNew>()
                                                    .field<&NavigatorConfig::antipodal_radius>("antipodal_radius")
                                                    .field<&NavigatorConfig::coverage_samples>("coverage_samples")
                                                    .field<&NavigatorConfig::geodesic_epsilon>("geodesic_epsilon")
                                                    .field<&NavigatorConfig::density_bins>("density_bins")
                                                    .field<&NavigatorConfig::voronoi_samples>("voronoi_samples")
                                                    .field<&NavigatorConfig::exclusivity_samples>("exclusivity_samples")
                                                    .field<&NavigatorConfig::curvature_top_n>("curvature_top_n")
                                                    .field<&NavigatorConfig::gap_sharpness>("gap_sharpness")
                                                    .repr<repr>();
    return described;
}

}  // namespace vantorel::python
