#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "embed/feedback/feedback_aggregator.hpp"
#include "temp_home.hpp"
#include "stop_text.hpp"

namespace vantorel::embed {
namespace {

using testing::read_file;
using testing::TempHome;

FeedbackAggregator with_scores(const std::vector<std::pair<std::string, double>>& events) {
    FeedbackAggregator agg;
    for (const auto& [id, score] : events) agg.record({id, "q", score, "1"});
    return agg;
}

TEST(FeedbackAggregator, SummariesClampScores) {
    const auto agg = with_scores({{"a", 0.2}, {"b", 1.7}, {"a", 0.4}, {"b", -0.2}, {"a", 0.9}});
    const auto a = agg.summarize("a").value();
    EXPECT_EQ(a.n_events, 3u);
    EXPECT_NEAR(a.mean_score, 0.5, 1e-15);
    EXPECT_EQ(a.min_score, 0.2);
    EXPECT_EQ(a.max_score, 0.9);
    EXPECT_EQ(agg.summarize("b").value(), (FeedbackSummary{"b", 2, 0.5, 0.0, 1.0}));
    // Stored unaltered: only the summary clamps.
    EXPECT_EQ(agg.events()[1].score, 1.7);
    EXPECT_FALSE(agg.summarize("c").has_value());

    const auto nan = with_scores({{"n", 0.3}, {"n", std::numeric_limits<double>::quiet_NaN()}, {"n", 0.6}})
                         .summarize("n")
                         .value();
    EXPECT_TRUE(std::isnan(nan.mean_score));
    EXPECT_EQ(nan.min_score, 0.3);
    EXPECT_EQ(nan.max_score, 0.6);

    const FeedbackAggregator empty;
    EXPECT_TRUE(empty.summarize_all().empty());
    EXPECT_TRUE(empty.corpus_ids().empty());
}

TEST(FeedbackAggregator, CorpusIdsInByteOrder) {
    const auto agg = with_scores({{"b", 0.1}, {"a", 0.2}, {"ab", 0.3}, {"B", 0.4}, {"a", 0.5}});
    EXPECT_EQ(agg.corpus_ids(), (std::vector<std::string>{"B", "a", "ab", "b"}));
    const auto all = agg.summarize_all();
    ASSERT_EQ(all.size(), 4u);
    for (std::size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i], agg.summarize(agg.corpus_ids()[i]).value());
}

TEST(FeedbackAggregator, BoundKeepsTheMostRecent) {
    auto agg = FeedbackAggregator::bounded(2);
    const FeedbackEvent e1{"c", "q1", 0.1, "1"}, e2{"c", "q2", 0.2, "2"}, e3{"c", "q3", 0.3, "3"};
    agg.record(e1);
    agg.record(e2);
    agg.record(e3);
    EXPECT_EQ(agg.events(), (std::vector<FeedbackEvent>{e2, e3}));
    EXPECT_NE(vantorel::testing::stop_text([] { FeedbackAggregator::bounded(0); }), "no stop");
}

TEST(FeedbackEvent, JsonForms) {
    const FeedbackEvent e{"c\"1", "q", 0.5, "17"};
    EXPECT_EQ(e.to_json(), R"({"corpus_id":"c\"1","query_id":"q","score":0.5,"timestamp":"17"})");
    EXPECT_EQ(FeedbackEvent::from_json(e.to_json()).value(), e);
    EXPECT_EQ(FeedbackEvent::from_json(R"(["c\"1","q",0.5,"17"])").value(), e);
    EXPECT_EQ(FeedbackEvent::from_json(R"({"x":[1],"timestamp":"17","score":0.5,"query_id":"q","corpus_id":"c\"1"})")
                  .value(),
              e);

    const auto fails_with = [](const char* text, const std::string& start) {
        const auto r = FeedbackEvent::from_json(text);
        ASSERT_FALSE(r.has_value()) << text;
        EXPECT_TRUE(r.error().message().starts_with(start)) << r.error().message();
    };
    fails_with(R"({"corpus_id":"c","query_id":"q","score":0.5})", "missing field `timestamp`");
    fails_with(R"({"corpus_id":"c","corpus_id":"c"})", "duplicate field `corpus_id`");
    fails_with(R"({"corpus_id":"c","query_id":"q","score":null,"timestamp":"1"})", "invalid type: null, expected f64");
    fails_with(R"(["c","q",0.5])", "invalid length 3, expected struct FeedbackEvent with 4 elements");
    fails_with("3", "invalid type: integer `3`, expected struct FeedbackEvent");
}

TEST(FeedbackAggregator, SaveFormatAndRoundTrip) {
    TempHome home;
    const auto path = home.dir() / "sub" / "saved.json";
    ASSERT_FALSE(FeedbackAggregator{}.save(path).has_value());
    EXPECT_EQ(read_file(path), "[]");
    EXPECT_EQ(FeedbackAggregator::load(path).value().size(), 0u);

    auto agg = FeedbackAggregator::bounded(5);
    agg.record({"a", "q1", 1.7, "10"});
    agg.record({"b\n", "q2", -0.25, "11"});
    ASSERT_FALSE(agg.save(path).has_value());
    EXPECT_EQ(read_file(path),
              "[\n  {\n    \"corpus_id\": \"a\",\n    \"query_id\": \"q1\",\n    \"score\": 1.7,\n"
              "    \"timestamp\": \"10\"\n  },\n  {\n    \"corpus_id\": \"b\\n\",\n    \"query_id\": \"q2\",\n"
              "    \"score\": -0.25,\n    \"timestamp\": \"11\"\n  }\n]");
    const auto loaded = FeedbackAggregator::load(path).value();
    EXPECT_EQ(loaded.events(), agg.events());
    EXPECT_FALSE(loaded.max_events().has_value());
    EXPECT_EQ(FeedbackAggregator::load(home.dir() / "absent.json").value().size(), 0u);

    // A non-finite score is refused and the saved file stays as it was.
    agg.record({"c", "q3", std::numeric_limits<double>::infinity(), "12"});
    const std::string before = read_file(path);
    const auto refused = agg.save(path);
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->kind, IoError::Kind::InvalidData);
    EXPECT_EQ(refused->message(), "field `score` holds inf, which JSON cannot represent");
    EXPECT_EQ(read_file(path), before);
}

TEST(FeedbackEvent, DefaultStoreAppendAndLoad) {
    TempHome home;
    EXPECT_EQ(FeedbackAggregator::load_default_store().value().size(), 0u);
    const auto now = FeedbackEvent::now("c", "q", 0.5);
    EXPECT_FALSE(now.timestamp.empty());
    EXPECT_EQ(now.timestamp.find_first_not_of("0123456789"), std::string::npos);

    const auto path = now.append_to_default_store().value();
    EXPECT_EQ(path, home.store("feedback_events.json"));
    EXPECT_EQ(read_file(path), now.to_json() + "\n");

    // Saved over the store, then appended to: lines, old events first.
    const auto saved = with_scores({{"x", 0.1}, {"y", 0.2}});
    ASSERT_FALSE(saved.save(path).has_value());
    const FeedbackEvent next{"z", "q", 0.3, "5"};
    ASSERT_TRUE(next.append_to_default_store().has_value());
    EXPECT_EQ(read_file(path), saved.events()[0].to_json() + "\n" + saved.events()[1].to_json() + "\n" + next.to_json() + "\n");
    EXPECT_EQ(FeedbackAggregator::load_default_store().value().events(),
              (std::vector<FeedbackEvent>{saved.events()[0], saved.events()[1], next}));

    const FeedbackEvent bad{"z", "q", std::numeric_limits<double>::quiet_NaN(), "6"};
    const std::string before = read_file(path);
    const auto refused = bad.append_to_default_store();
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().kind, IoError::Kind::InvalidData);
    EXPECT_EQ(read_file(path), before);

    testing::EnvGuard::put("HOME", std::nullopt);
    testing::EnvGuard::put("USERPROFILE", std::nullopt);
    EXPECT_EQ(next.append_to_default_store().error().message(), "neither HOME nor USERPROFILE is set");
    EXPECT_EQ(FeedbackAggregator::load_default_store().error().message(), "neither HOME nor USERPROFILE is set");
}

}  // namespace
}  // namespace vantorel::embed
