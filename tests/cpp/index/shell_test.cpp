#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "index/shell.hpp"
#include "index/test_item.hpp"

namespace vantorel::index {
namespace {

using testing::Item;
using testing::item;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

ShellIndex<Item> tenth_shells() {
    ShellIndexBuilder b;
    for (int i = 0; i <= 10; ++i) b.boundary(static_cast<double>(i) / 10.0);
    return b.build<Item>();
}

TEST(ShellIndex, BoundariesSortedInTotalOrderWithEqualNeighboursRemoved) {
    auto repeated = ShellIndexBuilder{}.boundary(0.5).boundary(0.1).boundary(0.5).boundary(0.3).build<Item>();
    EXPECT_EQ(std::vector<double>(repeated.boundaries().begin(), repeated.boundaries().end()),
              (std::vector<double>{0.1, 0.3, 0.5}));
    EXPECT_EQ(repeated.shell_count(), 4u);

    // +0.0 equals the -0.0 kept before it and goes; NaNs equal nothing, stay, and sort last.
    auto odd = ShellIndexBuilder{}.boundary(kNan).boundary(0.0).boundary(-0.0).boundary(kNan).boundary(-kInf)
                   .build<Item>();
    const auto b = odd.boundaries();
    ASSERT_EQ(b.size(), 4u);
    EXPECT_EQ(b[0], -kInf);
    EXPECT_TRUE(b[1] == 0.0 && std::signbit(b[1]));
    EXPECT_TRUE(std::isnan(b[2]) && std::isnan(b[3]));
}

TEST(ShellIndex, RadiusFilesByBoundariesAtOrBelowAndWalksInShellOrder) {
    auto index = tenth_shells();
    const std::vector<std::pair<double, std::size_t>> cases = {
        {1.0, 11}, {0.05, 1}, {0.1, 2}, {0.0, 1}, {7.0, 11}, {-0.0, 0}, {-0.5, 0}, {0.35, 4},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) index.insert(item(std::to_string(i), cases[i].first, 0.0, 0.0));
    ASSERT_EQ(index.shell_count(), 12u);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto shell = index.shell(cases[i].second);
        EXPECT_NE(std::find(shell.begin(), shell.end(), i), shell.end()) << "radius " << cases[i].first;
    }
    std::string walked;
    for (const auto& shell : index.shells()) {
        for (const std::size_t slot : shell) walked += index.at(slot).id;
    }
    EXPECT_EQ(walked, "56132704");

    auto single = ShellIndexBuilder{}.build<Item>();
    for (const double r : {-3.0, kNan, 1e300}) single.insert(item("a", r, 0.0, 0.0));
    ASSERT_EQ(single.shell_count(), 1u);
    EXPECT_EQ(single.shell(0).size(), 3u);
}

// Lookup answers the first item with the id in the shell of its latest insert.
TEST(ShellIndex, RepeatedIdsLookUpFirstInLatestShell) {
    auto index = tenth_shells();
    const std::vector<std::pair<double, int>> inserts = {{0.05, 0}, {0.55, 1}, {0.07, 0}, {0.58, 1}, {0.9, 4}};
    for (int i = 0; i < 5; ++i) {
        index.insert(item("a", inserts[i].first, 0.0, 0.0, i));
        EXPECT_EQ(index.get("a")->tag, inserts[i].second) << "after insert " << i;
    }
    EXPECT_EQ(index.size(), 5u);
    EXPECT_EQ(index.id_count(), 1u);
    EXPECT_EQ(index.get("b"), nullptr);
}

}  // namespace
}  // namespace vantorel::index
