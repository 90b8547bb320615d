#include "embed/navigator/category_caps.hpp"

#include <cmath>

#include "core/numeric.hpp"

namespace vantorel::embed::navigator {

CategoryCaps category_caps(const CategoryLayer& layer) {
    CategoryCaps caps;
    caps.centres.reserve(layer.summaries().size());
    caps.half_angles.reserve(layer.summaries().size());
    for (const CategorySummary& s : layer.summaries()) {
        caps.centres.push_back(s.centroid);
        caps.half_angles.push_back(s.angular_spread);
    }
    return caps;
}

double cap_area(double half_angle) noexcept { return core::kTwoPi * (1.0 - std::cos(half_angle)); }

}  // namespace vantorel::embed::navigator
