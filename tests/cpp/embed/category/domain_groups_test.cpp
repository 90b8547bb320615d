#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "embed/category/category_fixture.hpp"
#include "core/conversions.hpp"
#include "core/distance.hpp"
#include "embed/category/domain_groups.hpp"

namespace vantorel::embed {
namespace {

using domain_groups::detect_domain_groups;
using testing::build_layer;
using Clusters = std::vector<std::vector<std::size_t>>;

double affinity(const SpatialQuality& q, std::size_t i, std::size_t j) {
    const auto& nb = q.voronoi_cells[i].neighbors;
    double a = std::ranges::find(nb, j) != nb.end() ? 0.5 : 0.0;
    const auto o = std::ranges::find_if(q.overlaps, [&](const auto& p) {
        return p.i == std::min(i, j) && p.j == std::max(i, j);
    });
    const double smaller = std::min(q.cap_areas[i], q.cap_areas[j]);
    if (smaller > 1e-15) a += 0.5 * std::min((o == q.overlaps.end() ? 0.0 : o->area) / smaller, 1.0);
    return a;
}

// Average linkage written out plainly; every step must have one clear best pair.
Clusters average_linkage(const SpatialQuality& q, std::size_t n, std::size_t groups) {
    Clusters clusters;
    for (std::size_t c = 0; c < n; ++c) clusters.push_back({c});
    while (clusters.size() > groups) {
        std::vector<std::tuple<double, std::size_t, std::size_t>> links;
        for (std::size_t a = 0; a < clusters.size(); ++a) {
            for (std::size_t b = a + 1; b < clusters.size(); ++b) {
                double sum = 0.0;
                for (const std::size_t x : clusters[a]) {
                    for (const std::size_t y : clusters[b]) sum += affinity(q, x, y);
                }
                links.emplace_back(sum / static_cast<double>(clusters[a].size() * clusters[b].size()), a, b);
            }
        }
        std::ranges::sort(links, std::greater<>());
        EXPECT_GT(std::get<0>(links[0]), std::get<0>(links[1]) + 1e-9) << "affinities should be tie-free";
        const auto [best, a, b] = links[0];
        clusters[a].insert(clusters[a].end(), clusters[b].begin(), clusters[b].end());
        clusters.erase(clusters.begin() + static_cast<std::ptrdiff_t>(b));
    }
    return clusters;
}

TEST(DomainGroups, AverageLinkageOverOverlapAndAdjacency) {
    // Wide, overlapping caps give most pairs an affinity of their own.
    const auto corpus = testing::clustered(8, 10, 6, 2.0, 31);
    const auto built = build_layer(corpus.labels, corpus.embeddings, testing::quick_config());
    const auto& s = built.layer.summaries();
    ASSERT_GT(built.layer.spatial_quality().overlaps.size(), 15u);

    const auto groups = detect_domain_groups(built.layer, 3);
    const Clusters expected = average_linkage(built.layer.spatial_quality(), 8, 3);
    ASSERT_EQ(groups.size(), expected.size());
    for (std::size_t g = 0; g < groups.size(); ++g) {
        EXPECT_EQ(groups[g].member_categories, expected[g]);
        EXPECT_EQ(groups[g].category_names.back(), s[expected[g].back()].name);
        core::CartesianPoint sum;
        std::size_t items = 0;
        for (const std::size_t c : expected[g]) {
            items += s[c].member_count;
            const auto u = core::unit_vector(s[c].centroid);
            sum = {sum.x + u.x, sum.y + u.y, sum.z + u.z};
        }
        EXPECT_EQ(groups[g].total_items, items);
        EXPECT_NEAR(core::angle_between(core::unit_vector(groups[g].centroid), sum.normalize()), 0.0, 1e-7);
        double spread = 0.0;
        for (const std::size_t c : expected[g]) spread += core::angular_distance(s[c].centroid, groups[g].centroid);
        EXPECT_NEAR(groups[g].angular_spread, spread / static_cast<double>(expected[g].size()), 1e-12);
        EXPECT_DOUBLE_EQ(groups[g].cohesion, 1.0 / (1.0 + groups[g].angular_spread));
    }
}

TEST(DomainGroups, GroupCountsAndZeroAffinities) {
    // One item per category (point caps) and no Voronoi samples: every affinity is 0,
    // so the first cluster keeps absorbing the next one.
    const auto corpus = testing::clustered(5, 1, 6, 0.0, 41);
    PipelineConfig config = testing::quick_config();
    config.spatial.voronoi_samples = 0;
    const auto built = build_layer(corpus.labels, corpus.embeddings, config);
    const auto two = detect_domain_groups(built.layer, 2);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].member_categories, (std::vector<std::size_t>{0, 1, 2, 3}));
    EXPECT_EQ(two[1].member_categories, (std::vector<std::size_t>{4}));
    EXPECT_EQ(detect_domain_groups(built.layer, 0).at(0).member_categories.size(), 5u);

    const auto all = detect_domain_groups(built.layer, std::numeric_limits<std::uint64_t>::max());
    ASSERT_EQ(all.size(), 5u);
    for (std::size_t c = 0; c < 5; ++c) {
        EXPECT_EQ(all[c].member_categories, std::vector<std::size_t>{c});
        EXPECT_EQ(std::tuple(all[c].angular_spread, all[c].cohesion), std::tuple(0.0, 1.0));
        EXPECT_NEAR(core::angular_distance(all[c].centroid, built.layer.summaries()[c].centroid), 0.0, 1e-7);
    }
}

TEST(DomainGroups, OppositeCentroidsFallBackToTheFirstMember) {
    // Every item of "a" is followed by its exact negative in "b": the two
    // means, and their projections, are exact opposites.
    std::vector<std::vector<double>> rows;
    for (const auto& r : {std::vector{1.0, 0.2, 0.3, 0.1}, {0.8, 0.4, 0.1, 0.5}, {0.9, 0.1, 0.6, 0.2}}) {
        rows.push_back(r);
        rows.push_back({-r[0], -r[1], -r[2], -r[3]});
    }
    const auto built = build_layer({"a", "b", "a", "b", "a", "b"}, Corpus::from_rows(rows), testing::quick_config());
    const auto group = detect_domain_groups(built.layer, 1).at(0);
    const core::SphericalPoint first = built.layer.summaries()[0].centroid;
    EXPECT_EQ(std::tuple(group.centroid.r, group.centroid.theta, group.centroid.phi),
              std::tuple(first.r, first.theta, first.phi));
}

}  // namespace
}  // namespace vantorel::embed
