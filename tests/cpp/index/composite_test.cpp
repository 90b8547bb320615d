#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/conversions.hpp"
#include "core/distance.hpp"
#include "core/numeric.hpp"
#include "index/composite.hpp"
#include "index/test_item.hpp"

namespace vantorel::index {
namespace {

using testing::Item;
using testing::item;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
const core::SphericalPoint kNorthPole{1.0, 0.0, 0.0};

SpatialIndex<Item> engine_index() { return SpatialIndexBuilder{}.uniform_shells(10, 1.0).build<Item>(); }

TEST(SpatialIndexBuilder, UniformShellsAppendToExistingBoundaries) {
    SpatialIndexBuilder b{{5.0}, 12, 6};
    b.uniform_shells(10, 1.0).uniform_shells(0, 1.0);
    ASSERT_EQ(b.boundaries.size(), 12u);
    EXPECT_EQ(b.boundaries[0], 5.0);
    EXPECT_EQ(b.boundaries[4], 0.3);  // (3 · 1.0) / 10, where 3 · 0.1 would give 0.30000000000000004
    EXPECT_EQ(b.boundaries[11], 1.0);
    EXPECT_THROW((void)(SpatialIndexBuilder{{}, 0, 6}.build<Item>()), core::InvariantViolation);
}

TEST(SpatialIndex, SmallQueriesIgnoreRadii) {
    auto index = engine_index();
    EXPECT_TRUE(index.nearest(kNorthPole, 3).empty());
    const std::vector<double> polar = {0.9, 0.2, 1.7, 0.5};
    for (int i = 0; i < 4; ++i) index.insert(item(std::to_string(i), 0.4 * i, 1.0 + i, polar[i]));
    EXPECT_TRUE(index.nearest(kNorthPole, 0).empty());
    for (const double r : {0.0, 5.0}) {
        std::string order;
        for (const auto& hit : index.nearest({r, 0.0, 0.0}, 10)) {
            order += hit.item.id;
            EXPECT_NEAR(hit.distance, hit.item.position.phi, 1e-15);
        }
        EXPECT_EQ(order, "1302");
    }
}

// Equal keys keep gathering order: shell order up to 500 distinct ids, sector
// order from 501 on. Items at one polar angle tie exactly for a polar query.
TEST(SpatialIndex, TiesAtTheCutKeepGatheringOrder) {
    for (const std::size_t filler : {498u, 499u}) {
        auto index = engine_index();
        index.insert(item("outer-low-sector", 0.95, 0.2, 0.4));
        index.insert(item("inner-high-sector", 0.05, 5.0, 0.4));
        for (std::size_t i = 0; i < filler; ++i) {
            index.insert(item(std::to_string(i), 0.5, 0.01 * static_cast<double>(i), 2.5));
        }
        const auto first = index.nearest(kNorthPole, 1);
        ASSERT_EQ(first.size(), 1u);
        EXPECT_EQ(first[0].item.id, filler == 498u ? "inner-high-sector" : "outer-low-sector") << filler + 2;
        const auto both = index.nearest(kNorthPole, 2);
        EXPECT_EQ(both[0].item.id, first[0].item.id);
    }
}

// Repeated ids rank by the latest direction, even where an earlier copy sits
// in a far sector, and report the distance of their own position. A NaN key
// ranks after every number.
TEST(SpatialIndex, RepeatedIdsAndNanKeys) {
    for (const std::size_t filler : {10u, 700u}) {
        auto index = engine_index();
        std::mt19937_64 rng(3);
        std::uniform_real_distribution<double> theta(0.0, core::kTwoPi);
        std::uniform_real_distribution<double> phi(1.2, core::kPi);
        index.insert(item("broken", 0.5, kNan, 0.3));
        index.insert(item("x", 0.5, 3.0, 3.0, 0));  // near the south pole
        for (std::size_t i = 0; i < filler; ++i) index.insert(item(std::to_string(i), 0.5, theta(rng), phi(rng)));
        index.insert(item("x", 0.5, 1.0, 0.01, 1));  // at the north pole

        const auto hits = index.nearest(kNorthPole, 2);
        ASSERT_EQ(hits.size(), 2u);
        EXPECT_EQ(hits[0].item.id + hits[1].item.id, "xx") << filler;
        EXPECT_EQ(hits[0].item.tag + hits[1].item.tag, 1);
        for (const auto& hit : hits) EXPECT_NEAR(hit.distance, hit.item.position.phi, 1e-12);
        EXPECT_EQ(index.get("x")->tag, 0);  // both in one shell: the first of the two

        const auto all = index.nearest(kNorthPole, filler + 3);
        ASSERT_EQ(all.size(), filler + 3);
        EXPECT_EQ(all.back().item.id, "broken");
        EXPECT_EQ(index.nearest({1.0, kNan, 1.0}, 3).size(), 3u);
    }
}

// Mostly clustered items (a pole, a sector corner, the theta seam, the other
// pole), a few outside the valid angle ranges; n distinct ids, some inserted again.
std::vector<Item> skewed_items(std::size_t n, std::uint64_t seed) {
    const std::vector<core::SphericalPoint> centres = {
        {1.0, 0.3, 0.04}, {1.0, core::kPi / 2.0, core::kPi / 3.0}, {1.0, 6.25, 1.2}, {1.0, 2.0, 3.1}};
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Item> items;
    for (std::size_t i = 0; i < n + n / 25; ++i) {
        const double u = unit(rng);
        core::CartesianPoint v{noise(rng), noise(rng), noise(rng)};
        if (u < 0.9) {
            const auto c = core::unit_vector(centres[i % centres.size()]);
            const double spread = 0.01 + 0.05 * unit(rng);
            v = {c.x + spread * v.x, c.y + spread * v.y, c.z + spread * v.z};
        }
        core::SphericalPoint p = core::cartesian_to_spherical(v.normalize());
        p.r = 1.2 * unit(rng);
        if (u > 0.985) p.theta -= core::kTwoPi;  // same direction, filed in the first theta band
        if (u > 0.995) p.phi = -p.phi;            // mirrored direction, filed in the first phi band
        items.push_back({"s-" + std::to_string(i < n ? i : i * 7919 % n), p, 0});
    }
    return items;
}

std::vector<core::SphericalPoint> probe_queries(std::uint64_t seed) {
    std::vector<core::SphericalPoint> queries = {
        kNorthPole, {1.0, 0.0, core::kPi}, {1.0, 1.0, 1e-12}, {1.0, 6.2831853, 1.2}, {1.0, 1.2, 0.6}, {1.0, 4.0, 1.6}};
    for (int ti = 0; ti < 12; ti += 3) {
        for (int pi = 1; pi < 6; pi += 2) queries.push_back({1.0, ti * core::kPi / 6.0, pi * core::kPi / 6.0});
    }
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> theta(0.0, core::kTwoPi);
    std::uniform_real_distribution<double> cos_phi(-1.0, 1.0);
    while (queries.size() < 150) queries.push_back({1.0, theta(rng), std::acos(cos_phi(rng))});
    return queries;
}

// Every item ranked by the same key, from the latest position of its id, ties by insertion order.
std::vector<std::size_t> brute_force(const std::vector<Item>& items, const core::SphericalPoint& q, std::size_t k) {
    const core::CartesianPoint u = core::unit_vector(q);
    std::unordered_map<std::string, core::SphericalPoint> latest;
    for (const Item& it : items) latest[it.id] = it.position;
    std::vector<double> keys;
    for (const Item& it : items) keys.push_back(1.0 - std::clamp(u.dot(core::unit_vector(latest[it.id])), -1.0, 1.0));
    std::vector<std::size_t> order(items.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    order.resize(std::min(k, order.size()));
    return order;
}

TEST(SpatialIndex, NearestIsExactOnSkewedData) {
    for (const std::size_t n : {500u, 501u, 5000u}) {
        const auto items = skewed_items(n, n);
        auto index = engine_index();
        for (const Item& it : items) index.insert(it);
        for (const auto& q : probe_queries(n + 1)) {
            for (const std::size_t k : {1u, 3u, 10u, 37u}) {
                const auto expected = brute_force(items, q, k);
                const auto hits = index.nearest(q, k);
                ASSERT_EQ(hits.size(), expected.size());
                // Copies of one id tie exactly, so compare ids; each reports its own distance.
                for (std::size_t i = 0; i < hits.size(); ++i) {
                    ASSERT_EQ(hits[i].item.id, items[expected[i]].id)
                        << "n " << n << " k " << k << " at " << q.theta << ", " << q.phi;
                    ASSERT_EQ(hits[i].distance, core::angular_distance(q, hits[i].item.position));
                }
            }
        }
        EXPECT_EQ(index.nearest({1.0, 0.3, 0.3}, items.size() + 5).size(), items.size());
    }
}

}  // namespace
}  // namespace vantorel::index
