#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "vectordb/records.hpp"

namespace vantorel::vectordb {
namespace {

// Metadata against a plain list of pairs searched by scans, across the size
// where it starts to keep a table of positions, copies included.
TEST(Metadata, ActsAsAnOrderedListOfUniqueKeys) {
    std::mt19937_64 gen(31);
    for (const int keys : {3, 16, 17, 40, 3000}) {
        std::uniform_int_distribution<int> pick(0, keys - 1);
        Metadata metadata;
        std::vector<Metadata::Entry> expected;
        for (int step = 0; step < 3 * keys; ++step) {
            const std::string key = "k" + std::to_string(pick(gen));
            metadata.set(key, step);
            auto it = std::find_if(expected.begin(), expected.end(), [&](const auto& e) { return e.first == key; });
            if (it == expected.end()) {
                expected.emplace_back(key, step);
            } else {
                it->second = step;
            }
            if (step == keys) {
                // A copy taken half-way goes on by itself.
                Metadata copy = metadata;
                copy.set("extra", nullptr);
                ASSERT_NE(copy.find("extra"), nullptr);
                EXPECT_EQ(metadata.find("extra"), nullptr);
            }
        }
        ASSERT_EQ(std::vector<Metadata::Entry>(metadata.begin(), metadata.end()), expected) << keys;
        for (const auto& [key, value] : expected) {
            const JsonValue* found = metadata.find(key);
            ASSERT_NE(found, nullptr);
            EXPECT_EQ(*found, value);
        }
        EXPECT_EQ(metadata.find("missing"), nullptr);
        Metadata rebuilt;
        for (const auto& [key, value] : expected) rebuilt.set(key, value);
        EXPECT_EQ(rebuilt, metadata);
    }
}

}  // namespace
}  // namespace vantorel::vectordb
