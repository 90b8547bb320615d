#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/numeric.hpp"
#include "embed/quality/bridge_coherence.hpp"
#include "embed/quality/cluster_silhouette.hpp"
#include "embed/quality/composite_metric.hpp"
#include "embed/quality/graph_modularity.hpp"
#include "embed/quality/metric_by_name.hpp"
#include "embed/quality/territorial_health.hpp"
#include "embed/quality/quality_fixture.hpp"

namespace vantorel::embed {
namespace {

TEST(TerritorialHealth, MeanTerritorialFactorOverPairs) {
    SpatialQuality q;
    q.exclusivity = {1.0, 0.25, 0.0};
    EXPECT_DOUBLE_EQ(territorial_health(3, q), (0.5 + 0.05 + 0.05) / 3.0);
    EXPECT_NEAR(territorial_health(3, q), 0.2, 1e-15);
    q.exclusivity = {0.0, 0.0};
    EXPECT_DOUBLE_EQ(territorial_health(2, q), 0.05);
    // Missing entries read as 1.0; a NaN product counts as 0.05.
    q.exclusivity = {0.25};
    EXPECT_DOUBLE_EQ(territorial_health(2, q), 0.5);
    q.exclusivity = {std::nan(""), 1.0};
    EXPECT_DOUBLE_EQ(territorial_health(2, q), 0.05);
    EXPECT_EQ(territorial_health(1, q), 1.0);
    EXPECT_EQ(territorial_health(0, q), 1.0);
}

TEST(BridgeCoherence, GenuineShareOfAllBridgeItems) {
    CategoryGraph graph;
    EXPECT_EQ(bridge_coherence(graph), 1.0);
    const auto item = [](BridgeClassification c) { return BridgeItem{0, 0, 1, 0.5, 0.5, 0.1, c}; };
    graph.bridges[{0, 1}] = {item(BridgeClassification::Genuine), item(BridgeClassification::Weak)};
    graph.bridges[{2, 0}] = {item(BridgeClassification::Genuine), item(BridgeClassification::Genuine)};
    graph.bridges[{1, 2}] = {item(BridgeClassification::OverlapArtifact)};
    EXPECT_DOUBLE_EQ(bridge_coherence(graph), 0.6);
    graph.bridges.erase({1, 2});
    EXPECT_DOUBLE_EQ(bridge_coherence(graph), 0.75);
}

class Fixed final : public QualityMetric {
public:
    explicit Fixed(double value) : value_(value) {}
    [[nodiscard]] std::string_view name() const noexcept override { return "fixed"; }
    [[nodiscard]] double score(const VantorelPipeline&) const override { return value_; }

private:
    double value_;
};

std::vector<WeightedMetric> fixed(std::initializer_list<std::pair<double, double>> score_weight) {
    std::vector<WeightedMetric> out;
    for (const auto& [score, weight] : score_weight) out.push_back({std::make_unique<Fixed>(score), weight});
    return out;
}

TEST(CompositeMetric, NormalisesWeightsAndScoresTheWeightedSum) {
    const VantorelPipeline p = testing::clustered_pipeline(3, 6, 5);

    const CompositeMetric even = CompositeMetric::make("mine", fixed({{0.2, 2.0}, {0.6, 2.0}}));
    EXPECT_EQ(even.name(), "mine");
    ASSERT_EQ(even.components().size(), 2u);
    EXPECT_EQ(even.components()[0].weight, 0.5);
    EXPECT_EQ(even.components()[1].weight, 0.5);
    EXPECT_DOUBLE_EQ(even.score(p), 0.4);

    const CompositeMetric one = CompositeMetric::make("one", fixed({{0.3, 3.0}, {0.9, 0.0}}));
    ASSERT_EQ(one.components().size(), 1u);
    EXPECT_EQ(one.components()[0].weight, 1.0);
    EXPECT_EQ(one.score(p), 0.3);

    const auto expect_empty = [&p](std::vector<WeightedMetric> components) {
        const CompositeMetric none = CompositeMetric::make("none", std::move(components));
        EXPECT_TRUE(none.components().empty());
        EXPECT_EQ(none.score(p), 0.0);
    };
    expect_empty(fixed({{0.5, 0.0}, {0.5, -1.0}}));
    expect_empty(fixed({{0.5, std::nan("")}}));
    expect_empty(fixed({}));
    // The weighted sum is clamped; a NaN component score stays NaN.
    EXPECT_EQ(CompositeMetric::make("hi", fixed({{3.0, 1.0}, {1.0, 1.0}})).score(p), 1.0);
    EXPECT_EQ(CompositeMetric::make("lo", fixed({{-3.0, 1.0}})).score(p), 0.0);
    EXPECT_TRUE(std::isnan(CompositeMetric::make("nan", fixed({{std::nan(""), 1.0}})).score(p)));
}

TEST(CompositeMetric, PresetsAreTheirWeightedComponents) {
    const VantorelPipeline p = testing::clustered_pipeline(4, 8, 9);
    const double bridge = BridgeCoherence().score(p);
    const double territory = TerritorialHealth().score(p);
    const double silhouette = ClusterSilhouette().score(p);
    const double modularity = GraphModularity(15).score(p);

    const CompositeMetric d = CompositeMetric::default_composite();
    EXPECT_EQ(d.name(), "default_composite");
    ASSERT_EQ(d.components().size(), 3u);
    EXPECT_EQ(d.components()[0].weight, 0.40);
    EXPECT_EQ(d.components()[2].weight, 0.25);
    EXPECT_EQ(d.score(p), core::clamp_unit(bridge * 0.40 + territory * 0.35 + silhouette * 0.25));

    const CompositeMetric c = CompositeMetric::connectivity_composite();
    EXPECT_EQ(c.name(), "connectivity_composite");
    ASSERT_EQ(c.components().size(), 3u);
    EXPECT_EQ(c.components()[0].weight, 0.5);
    EXPECT_EQ(c.score(p), core::clamp_unit(modularity * 0.5 + bridge * 0.3 + territory * 0.2));
}

TEST(QualityMetric, SingleCategoryScoresOneEverywhere) {
    const VantorelPipeline p = testing::clustered_pipeline(1, 12, 3);
    for (const std::string_view name : kMetricNames) EXPECT_EQ(metric_by_name(name)->score(p), 1.0) << name;
    EXPECT_EQ(GraphModularity(0).score(p), 1.0);
}

TEST(QualityMetric, ChosenByNameCarryThatName) {
    for (const std::string_view name : kMetricNames) {
        const auto metric = metric_by_name(name);
        ASSERT_NE(metric, nullptr) << name;
        EXPECT_EQ(metric->name(), name);
    }
    const auto modularity = metric_by_name("graph_modularity");
    EXPECT_EQ(dynamic_cast<const GraphModularity&>(*modularity).k(), 15u);
    EXPECT_EQ(GraphModularity(3).name(), "graph_modularity");
    for (const char* unknown : {"", "Territorial_health", "graph_modularity ", "composite"}) {
        EXPECT_EQ(metric_by_name(unknown), nullptr) << unknown;
    }
}

}  // namespace
}  // namespace vantorel::embed
