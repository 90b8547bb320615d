#pragma once

#include <cstdint>

namespace vantorel::embed::navigator {

// Settings of one navigator run. The defaults are those of the Python
// configuration object. `geodesic_epsilon`, `density_bins` and
// `gap_sharpness` are carried through but read by no analysis.
struct NavigatorConfig {
    double antipodal_radius = 0.5;  // radians around each antipode
    std::uint64_t coverage_samples = 200000;
    double geodesic_epsilon = 0.3;
    std::uint64_t density_bins = 20;
    std::uint64_t voronoi_samples = 200000;
    std::uint64_t exclusivity_samples = 50000;
    std::uint64_t curvature_top_n = 20;
    double gap_sharpness = 5.0;
};

}  // namespace vantorel::embed::navigator
