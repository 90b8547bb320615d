#include "embed/navigator/antipodal_analysis.hpp"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <unordered_map>

#include "core/conversions.hpp"
#include "core/distance.hpp"
#include "core/invariant.hpp"
#include "core/numeric.hpp"
#include "core/parallel.hpp"
#include "core/spatial.hpp"

namespace vantorel::embed::navigator {
namespace {

// The most frequent category among the items; a tie goes to the name met
// first, that is nearest the antipode.
std::optional<std::string> dominant_category(const std::vector<AntipodalItem>& items) {
    if (items.empty()) return std::nullopt;
    std::unordered_map<std::string_view, std::size_t> counts;
    for (const AntipodalItem& item : items) ++counts[item.category];
    const AntipodalItem* best = &items.front();
    std::size_t best_count = 0;
    for (const AntipodalItem& item : items) {
        const std::size_t count = counts[item.category];
        if (count > best_count) {
            best = &item;
            best_count = count;
        }
    }
    return best->category;
}

// `units` are the unit vectors of `positions`: the distances equal
// angular_distance(antipode, position) to the bit.
AntipodalReport analyse_category(const CategorySummary& summary, std::span<const core::SphericalPoint> positions,
                                 std::span<const core::CartesianPoint> units, std::span<const std::string> categories,
                                 double radius) {
    AntipodalReport report;
    report.category_name = summary.name;
    report.centroid = summary.centroid;
    report.antipode = antipode_of(summary.centroid);
    const core::CartesianPoint axis = core::unit_vector(report.antipode);
    for (std::size_t j = 0; j < units.size(); ++j) {
        const double distance = core::angle_between(axis, units[j]);
        if (distance <= radius) report.antipodal_items.push_back({categories[j], j, distance});
    }
    std::ranges::stable_sort(report.antipodal_items, [](const AntipodalItem& a, const AntipodalItem& b) {
        return a.distance < b.distance;
    });
    report.antipodal_coherence = core::spatial::region_coherence(report.antipode, positions, radius);
    report.dominant_antipodal_category = dominant_category(report.antipodal_items);
    return report;
}

}  // namespace

core::SphericalPoint antipode_of(const core::SphericalPoint& p) noexcept {
    return {p.r, std::fmod(p.theta + core::kPi, core::kTwoPi), core::kPi - p.phi};
}

std::vector<AntipodalReport> antipodal_analysis(const CategoryLayer& layer,
                                                std::span<const core::SphericalPoint> positions,
                                                std::span<const std::string> categories, double antipodal_radius) {
    if (!positions.empty()) core::check_index(positions.size() - 1, categories.size());
    std::vector<core::CartesianPoint> units(positions.size());
    std::ranges::transform(positions, units.begin(), [](const core::SphericalPoint& p) { return core::unit_vector(p); });

    const auto& summaries = layer.summaries();
    std::vector<AntipodalReport> reports(summaries.size());
    core::for_each_index(summaries.size(), [&](std::size_t i) {
        reports[i] = analyse_category(summaries[i], positions, units, categories, antipodal_radius);
    });
    return reports;
}

}  // namespace vantorel::embed::navigator
