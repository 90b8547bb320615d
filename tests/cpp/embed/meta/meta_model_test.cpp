#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "embed/meta/distance_weighted_meta_model.hpp"
#include "embed/meta/nearest_neighbor_meta_model.hpp"

namespace vantorel::embed {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

CorpusFeatures features(std::uint64_t n, std::uint64_t k, std::uint64_t dim, double a, double b) {
    return {n, k, dim, static_cast<double>(n) / static_cast<double>(k), a, b, 0.5 * a, 0.01 * b, a - b, b - a, 7.0};
}

// Each record's configuration is told apart by its domain-group count.
MetaTrainingRecord record(std::uint64_t tag, const CorpusFeatures& f, double best_score) {
    MetaTrainingRecord r;
    r.corpus_id = "c" + std::to_string(tag);
    r.features = f;
    r.best_config.routing.num_domain_groups = tag;
    r.best_score = best_score;
    return r;
}

template <class Model>
std::uint64_t predicted_tag(const Model& m, const CorpusFeatures& q) {
    return m.predict(q).value().routing.num_domain_groups;
}

TEST(MetaModel, NewEmptyAndRefitted) {
    NearestNeighborMetaModel nn;
    DistanceWeightedMetaModel dw{0.1};
    const auto q = features(10, 2, 4, 0.5, 0.5);
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_TRUE(nn.records().empty());
        EXPECT_EQ(nn.feature_means(), MetaFeatureVector{});
        EXPECT_TRUE(std::ranges::all_of(dw.feature_stds(), [](double s) { return s == 1.0; }));
        EXPECT_TRUE(nn.rank_candidates(q).empty());
        EXPECT_TRUE(dw.score_candidates(q).empty());
        EXPECT_EQ(nn.predict(q).error().message(),
                  "NearestNeighborMetaModel::predict called before fit(); call .fit(records) with at least one "
                  "record first");
        EXPECT_EQ(dw.predict(q).error().message(),
                  "DistanceWeightedMetaModel::predict called before fit(); call .fit(records) with at least one "
                  "record first");
        // A fit with records, then one with none, returns to the new state.
        nn.fit({record(3, features(5, 1, 2, 0.1, 0.2), 0.4), record(4, features(9, 3, 8, 0.3, 0.1), 0.2)});
        dw.fit(nn.records());
        EXPECT_EQ(predicted_tag(nn, features(5, 1, 2, 0.1, 0.2)), 3u);
        EXPECT_EQ(nn.feature_means()[0], 7.0);
        EXPECT_EQ(nn.feature_stds()[0], 2.0);
        nn.fit({});
        dw.fit({});
    }
    // A single record answers every query.
    nn.fit({record(6, features(5, 1, 2, 0.1, 0.2), 0.4)});
    dw.fit(nn.records());
    EXPECT_EQ(predicted_tag(nn, features(1000, 50, 300, 0.9, 0.9)), 6u);
    EXPECT_EQ(predicted_tag(dw, features(1000, 50, 300, 0.9, 0.9)), 6u);

    EXPECT_EQ(DistanceWeightedMetaModel{0.5}.epsilon(), 0.5);
    for (double e : {0.0, -3.0, kNaN, 1e-13}) EXPECT_EQ(DistanceWeightedMetaModel{e}.epsilon(), 1e-12) << e;
}

// Straight from the definitions, column by column, for comparison.
struct Oracle {
    std::vector<MetaFeatureVector> rows;
    MetaFeatureVector mean{}, sd{};

    explicit Oracle(const std::vector<MetaTrainingRecord>& recs) {
        for (const auto& r : recs) rows.push_back(meta_feature_vector(r.features));
        const double n = static_cast<double>(rows.size());
        for (std::size_t j = 0; j < kMetaFeatureCount; ++j) {
            double s = 0.0;
            for (const auto& x : rows) s += x[j];
            mean[j] = s / n;
            double v = 0.0;
            for (const auto& x : rows) v += (x[j] - mean[j]) * (x[j] - mean[j]);
            sd[j] = std::sqrt(v / n) > 2.220446049250313e-16 ? std::sqrt(v / n) : 0.0;
        }
    }
    double distance(const MetaFeatureVector& q, std::size_t i) const {
        double s = 0.0;
        for (std::size_t j = 0; j < kMetaFeatureCount; ++j) {
            if (!(sd[j] > 2.220446049250313e-16)) continue;
            const double d = (q[j] - mean[j]) / sd[j] - (rows[i][j] - mean[j]) / sd[j];
            s += d * d;
        }
        return std::sqrt(s);
    }
};

TEST(MetaModel, RankingAndWeightingMatchTheDefinitions) {
    const std::vector<MetaTrainingRecord> recs{
        record(0, features(120, 4, 64, 0.91, 0.35), 0.62), record(1, features(800, 12, 384, 0.72, 0.18), 0.81),
        record(2, features(40, 2, 32, 0.99, 0.60), 0.44),  record(3, features(300, 6, 384, 0.55, 0.41), 0.93),
        record(4, features(95, 5, 64, 0.83, 0.22), 0.70)};
    NearestNeighborMetaModel nn;
    DistanceWeightedMetaModel dw{0.25};
    nn.fit(recs);
    dw.fit(recs);
    const Oracle o{recs};
    EXPECT_EQ(nn.feature_means(), o.mean);
    EXPECT_EQ(dw.feature_stds(), o.sd);

    for (const auto& q : {features(100, 4, 64, 0.9, 0.3), features(700, 10, 384, 0.6, 0.4), recs[2].features}) {
        const auto qv = meta_feature_vector(q);
        std::vector<std::size_t> by_distance{0, 1, 2, 3, 4};
        std::stable_sort(by_distance.begin(), by_distance.end(),
                         [&](std::size_t a, std::size_t b) { return o.distance(qv, a) < o.distance(qv, b); });
        const auto ranked = nn.rank_candidates(q);
        ASSERT_EQ(ranked.size(), 5u);
        for (std::size_t k = 0; k < 5; ++k) {
            EXPECT_EQ(ranked[k].index, by_distance[k]);
            EXPECT_DOUBLE_EQ(ranked[k].distance, o.distance(qv, by_distance[k]));
        }
        EXPECT_EQ(predicted_tag(nn, q), by_distance[0]);

        const auto weight = [&](std::size_t i) { return recs[i].best_score / (0.25 + o.distance(qv, i)); };
        std::vector<std::size_t> by_score{0, 1, 2, 3, 4};
        std::stable_sort(by_score.begin(), by_score.end(),
                         [&](std::size_t a, std::size_t b) { return weight(a) > weight(b); });
        const auto scored = dw.score_candidates(q);
        ASSERT_EQ(scored.size(), 5u);
        for (std::size_t k = 0; k < 5; ++k) {
            EXPECT_EQ(scored[k].index, by_score[k]);
            EXPECT_DOUBLE_EQ(scored[k].score, weight(by_score[k]));
            EXPECT_DOUBLE_EQ(scored[k].distance, o.distance(qv, by_score[k]));
        }
        EXPECT_EQ(predicted_tag(dw, q), by_score[0]);
    }
    // The exact match has distance 0 whatever its separation ratio says.
    auto q = recs[2].features;
    q.category_separation_ratio = 1e300;
    EXPECT_EQ(nn.rank_candidates(q).front(), (RankedCandidate{2, 0.0}));
}

TEST(MetaModel, TiesAndConstantFeatures) {
    // Records 1 and 2 lie symmetrically around the query; the first fitted wins.
    const std::vector<MetaTrainingRecord> tie{record(0, features(10, 2, 8, 0.2, 0.2), 0.5),
                                              record(1, features(20, 2, 8, 0.5, 0.5), 0.5),
                                              record(2, features(40, 2, 8, 0.5, 0.5), 0.5)};
    NearestNeighborMetaModel nn;
    nn.fit(tie);
    const auto ranked = nn.rank_candidates(features(30, 2, 8, 0.5, 0.5));
    EXPECT_EQ(ranked[0].index, 1u);
    EXPECT_EQ(ranked[1].index, 2u);
    EXPECT_EQ(ranked[0].distance, ranked[1].distance);
    nn.fit({tie[2], tie[1], tie[0]});
    EXPECT_EQ(predicted_tag(nn, features(30, 2, 8, 0.5, 0.5)), 2u);

    // `n_categories` and `dim` are constant over the records: their deviation
    // is 0.0 and a query far off in them ranks exactly as one that is not.
    nn.fit(tie);
    EXPECT_EQ(nn.feature_stds()[1], 0.0);
    EXPECT_EQ(nn.feature_stds()[2], 0.0);
    auto far_off = features(12, 2, 8, 0.3, 0.3);
    const auto ranked_near = nn.rank_candidates(far_off);
    far_off.n_categories = 900;
    far_off.dim = 4096;
    EXPECT_EQ(nn.rank_candidates(far_off), ranked_near);

    // Identical profiles: every distance is 0; nearest takes the first record,
    // distance-weighted the highest best score, the first of equal ones.
    const auto same = features(50, 5, 16, 0.4, 0.6);
    const std::vector<MetaTrainingRecord> flat{record(0, same, 0.3), record(1, same, 0.9), record(2, same, 0.9)};
    nn.fit(flat);
    DistanceWeightedMetaModel dw{0.1};
    dw.fit(flat);
    EXPECT_TRUE(std::ranges::all_of(nn.feature_stds(), [](double s) { return s == 0.0; }));
    EXPECT_EQ(predicted_tag(nn, features(1, 1, 1, 0.0, 0.0)), 0u);
    EXPECT_EQ(predicted_tag(dw, features(1, 1, 1, 0.0, 0.0)), 1u);
    EXPECT_EQ(dw.score_candidates(same).front(), (ScoredCandidate{1, 0.9 / 0.1, 0.0}));

    // Equal negative best scores: the farthest record scores highest.
    dw.fit({record(0, features(10, 2, 8, 0.2, 0.2), -1.0), record(1, features(40, 2, 8, 0.2, 0.2), -1.0)});
    EXPECT_EQ(predicted_tag(dw, features(10, 2, 8, 0.2, 0.2)), 1u);
}

TEST(MetaModel, NonFiniteScoresAreLeftOut) {
    DistanceWeightedMetaModel dw{0.1};
    dw.fit({record(0, features(10, 2, 8, 0.2, 0.2), kNaN), record(1, features(20, 3, 8, 0.4, 0.1), kInf),
            record(2, features(30, 4, 8, 0.6, 0.3), -kInf)});
    EXPECT_TRUE(dw.score_candidates(features(20, 3, 8, 0.4, 0.1)).empty());
    EXPECT_EQ(predicted_tag(dw, features(20, 3, 8, 0.4, 0.1)), 0u);

    // A finite record among them is the only candidate, even when far away;
    // a huge score over a tiny epsilon overflows and is left out too.
    auto recs = dw.records();
    recs.push_back(record(3, features(90, 9, 8, 0.9, 0.9), 0.01));
    recs.push_back(record(4, features(20, 3, 8, 0.4, 0.1), 1e300));
    DistanceWeightedMetaModel tight{0.0};
    tight.fit(recs);
    const auto scored = tight.score_candidates(features(20, 3, 8, 0.4, 0.1));
    ASSERT_EQ(scored.size(), 1u);
    EXPECT_EQ(scored[0].index, 3u);
    EXPECT_EQ(predicted_tag(tight, features(20, 3, 8, 0.4, 0.1)), 3u);

    // NaN features make their column's deviation NaN, which counts as constant.
    NearestNeighborMetaModel nn;
    nn.fit({record(0, features(10, 2, 8, kNaN, 0.2), 0.5), record(1, features(20, 2, 8, 0.4, 0.2), 0.5)});
    EXPECT_EQ(nn.feature_stds()[4], 0.0);
    EXPECT_EQ(predicted_tag(nn, features(19, 2, 8, 0.0, 0.2)), 1u);
}

}  // namespace
}  // namespace vantorel::embed
