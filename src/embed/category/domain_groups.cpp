#include "embed/category/domain_groups.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/conversions.hpp"
#include "core/distance.hpp"
#include "core/invariant.hpp"

namespace vantorel::embed::domain_groups {
namespace {

// Areas and lengths at or below this count as zero.
constexpr double kTiny = 1e-15;
constexpr double kAdjacencyAffinity = 0.5;
constexpr double kOverlapAffinity = 0.5;

// n × n, row-major.
class AffinityMatrix {
public:
    explicit AffinityMatrix(std::size_t n) : n_(n), values_(n * n, 0.0) {}
    [[nodiscard]] double at(std::size_t i, std::size_t j) const { return values_[i * n_ + j]; }
    void set_pair(std::size_t i, std::size_t j, double v) { values_[i * n_ + j] = values_[j * n_ + i] = v; }

private:
    std::size_t n_;
    std::vector<double> values_;
};

// Half for sharing a Voronoi border, half for the share of the smaller cap
// that the two caps have in common.
AffinityMatrix affinities(const SpatialQuality& q, std::size_t n) {
    // First listed overlap area of every pair i < j.
    std::vector<double> overlap(n * n, 0.0);
    std::vector<bool> seen(n * n, false);
    for (const core::spatial::CapOverlap& o : q.overlaps) {
        core::check_index(o.i, n);
        core::check_index(o.j, n);
        if (seen[o.i * n + o.j]) continue;
        seen[o.i * n + o.j] = true;
        overlap[o.i * n + o.j] = o.area;
    }
    AffinityMatrix a(n);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            double v = q.are_voronoi_neighbors(i, j) ? kAdjacencyAffinity : 0.0;
            const double smaller_cap = std::min(core::at_checked(q.cap_areas, i), core::at_checked(q.cap_areas, j));
            if (smaller_cap > kTiny) v = v + kOverlapAffinity * std::fmin(overlap[i * n + j] / smaller_cap, 1.0);
            a.set_pair(i, j, v);
        }
    }
    return a;
}

double average_linkage(const AffinityMatrix& a, const std::vector<std::size_t>& x, const std::vector<std::size_t>& y) {
    const std::size_t pairs = x.size() * y.size();
    if (pairs == 0) return 0.0;
    double sum = 0.0;
    for (const std::size_t i : x) {
        for (const std::size_t j : y) sum += a.at(i, j);
    }
    return sum / static_cast<double>(pairs);
}

// Merges the first pair of clusters with the greatest linkage: the higher
// position is absorbed by the lower one.
void merge_closest(const AffinityMatrix& a, std::vector<std::vector<std::size_t>>& clusters) {
    double best = -std::numeric_limits<double>::infinity();
    std::size_t keep = 0;
    std::size_t absorb = 1;
    for (std::size_t x = 0; x < clusters.size(); ++x) {
        for (std::size_t y = x + 1; y < clusters.size(); ++y) {
            const double linkage = average_linkage(a, clusters[x], clusters[y]);
            if (linkage > best) {
                best = linkage;
                keep = x;
                absorb = y;
            }
        }
    }
    std::vector<std::size_t> moved = std::move(clusters[absorb]);
    clusters.erase(clusters.begin() + static_cast<std::ptrdiff_t>(absorb));
    clusters[keep].insert(clusters[keep].end(), moved.begin(), moved.end());
}

}  // namespace

std::vector<DomainGroup> detect_domain_groups(const CategoryLayer& layer, std::uint64_t num_groups) {
    const std::size_t n = layer.summaries().size();
    if (n == 0) return {};
    const std::uint64_t wanted = std::max<std::uint64_t>(num_groups, 1);
    const std::size_t groups = wanted < n ? static_cast<std::size_t>(wanted) : n;
    const AffinityMatrix a = affinities(layer.spatial_quality(), n);

    std::vector<std::vector<std::size_t>> clusters(n);
    for (std::size_t c = 0; c < n; ++c) clusters[c] = {c};
    while (clusters.size() > groups) merge_closest(a, clusters);

    std::vector<DomainGroup> out;
    out.reserve(clusters.size());
    for (const std::vector<std::size_t>& cluster : clusters) out.push_back(build_group(layer, cluster));
    return out;
}

DomainGroup build_group(const CategoryLayer& layer, std::span<const std::size_t> members) {
    if (members.empty()) core::stop("a domain group needs at least one category");
    const std::vector<CategorySummary>& summaries = layer.summaries();
    DomainGroup g;
    g.member_categories.assign(members.begin(), members.end());
    core::CartesianPoint sum;
    for (const std::size_t c : members) {
        const CategorySummary& s = core::at_checked(summaries, c);
        g.category_names.push_back(s.name);
        g.total_items += s.member_count;
        const core::CartesianPoint u = core::unit_vector(s.centroid);
        sum.x += u.x;
        sum.y += u.y;
        sum.z += u.z;
    }
    const double length = sum.magnitude();
    g.centroid = length > kTiny ? core::cartesian_to_spherical(sum.x / length, sum.y / length, sum.z / length)
                                : summaries[members.front()].centroid;
    if (members.size() > 1) {
        double spread = 0.0;
        for (const std::size_t c : members) spread += core::angular_distance(summaries[c].centroid, g.centroid);
        g.angular_spread = spread / static_cast<double>(members.size());
    }
    g.cohesion = 1.0 / (1.0 + g.angular_spread);
    return g;
}

}  // namespace vantorel::embed::domain_groups
