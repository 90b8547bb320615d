#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "stop_text.hpp"
#include "core/numeric.hpp"
#include "index/sector.hpp"
#include "index/test_item.hpp"

namespace vantorel::index {
namespace {

using testing::Item;
using testing::item;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(SectorIndex, ZeroDivisionsAreReportedThetaFirst) {
    EXPECT_EQ(SectorIndex<Item>::try_new(0, 0).error().debug(), R"(ZeroDivisions { field: "theta_divisions" })");
    EXPECT_EQ(SectorIndex<Item>::try_new(3, 0).error().debug(), R"(ZeroDivisions { field: "phi_divisions" })");
    EXPECT_TRUE(SectorIndex<Item>::try_new(1, 1).has_value());
    EXPECT_EQ(vantorel::testing::stop_text([] { (void)SectorIndex<Item>::make(12, 0); }),
              "SectorIndex::new called with zero divisions; use try_new to handle: "
              R"(ZeroDivisions { field: "phi_divisions" })");
}

TEST(SectorIndex, AnglesFileIntoBandsAndOutOfRangeIntoEdgeBands) {
    const auto grid = SectorGrid::make(12, 6);
    const auto sector = [&](double theta, double phi) { return grid.sector_of({1.0, theta, phi}); };
    const double band = core::kTwoPi / 12.0;
    EXPECT_EQ(sector(band * 2.5, core::kPi / 6.0 * 3.5), 2u * 6u + 3u);
    EXPECT_EQ(sector(band * 3.0, 0.1), 3u * 6u);  // a lower band edge belongs to its band
    EXPECT_EQ(sector(core::kTwoPi, 0.1), 11u * 6u);
    EXPECT_EQ(sector(0.1, core::kPi), 5u);
    EXPECT_EQ(sector(-0.3, kNan), 0u);
    EXPECT_EQ(sector(kInf, 1e300), 71u);
    EXPECT_EQ(sector(-kInf, -1.0), 0u);
}

// From the north pole with 12 × 6 divisions the slack (1 − cos of the
// diagonal, 0.2618) takes the first phi band at radius 0 (its centres at
// 1 − cos(π/12) = 0.0341) and the second from radius 0.0311 (1 − cos(π/4) = 0.2929).
TEST(SectorIndex, NearbySectorsByCentreTestInSectorThenInsertionOrder) {
    auto index = SectorIndex<Item>::make(12, 6);
    const std::vector<std::pair<double, double>> at = {{3.0, 0.3}, {0.5, 0.6}, {0.1, 0.2}, {3.0, 0.1}, {1.0, 2.0}};
    for (std::size_t i = 0; i < at.size(); ++i) index.insert(item(std::to_string(i), 1.0, at[i].first, at[i].second));
    const auto ids = [&](double radius) {
        std::string out;
        for (const Item& it : index.items_in_nearby_sectors(0.0, 0.0, 1.0, radius)) out += it.id;
        return out;
    };
    EXPECT_EQ(ids(0.0), "203");
    EXPECT_EQ(ids(0.031), "203");
    EXPECT_EQ(ids(0.032), "2103");
    EXPECT_EQ(ids(2.0), "21403");
}

}  // namespace
}  // namespace vantorel::index
