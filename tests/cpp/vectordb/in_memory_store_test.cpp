#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>
#include <limits>
#include <random>
#include <thread>

#include "core/distance.hpp"
#include "core/interrupt.hpp"
#include "core/norm.hpp"
#include "core/numeric.hpp"
#include "vectordb/in_memory_store.hpp"
#include "vectordb/top_k.hpp"

namespace vantorel::vectordb {
namespace {

VectorRecord record(std::string id, std::vector<double> v, Metadata metadata = {}) {
    return {std::move(id), std::move(v), std::move(metadata)};
}

std::vector<std::string> ids_of(const std::vector<VectorRecord>& records) {
    std::vector<std::string> ids;
    for (const auto& r : records) ids.push_back(r.id);
    return ids;
}

std::vector<std::string> listed(const InMemoryStore& store) { return ids_of(store.list(1000, std::nullopt)->records); }

TEST(InMemoryStore, UpsertReplacesInPlaceAndStopsAtAWrongLength) {
    InMemoryStore store("docs", 3);
    EXPECT_EQ(store.collection(), "docs");
    ASSERT_TRUE(store.upsert({}));
    const std::vector<VectorRecord> first{record("a", {1, 0, 0}, {{"k", 1}, {"old", true}}),
                                          record("b", {0, 1, 0}), record("a", {1, 1, 0}, {{"k", 2}})};
    ASSERT_TRUE(store.upsert(first));
    EXPECT_EQ(*store.count(), 2u);

    // Re-upserting keeps the position and replaces vector and metadata whole.
    ASSERT_TRUE(store.upsert(std::vector{record("b", {0, 0, 2}, {{"new", "x"}})}));
    ASSERT_TRUE(store.upsert(std::vector{record("a", {0, 0, 1}, {{"k", 3}})}));
    const auto a = store.get("a").value();
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->vector, (std::vector<double>{0, 0, 1}));
    EXPECT_EQ(a->metadata, (Metadata{{"k", 3}}));
    EXPECT_FALSE(store.get("zz").value().has_value());

    const auto failed = store.upsert(std::vector{record("c", {1, 2, 3}), record("d", {3, 2, 1}), record("e", {1, 2})});
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().message(), "dimension mismatch: expected 3, got 2");
    EXPECT_EQ(listed(store), (std::vector<std::string>{"a", "b", "c", "d"}));
}

// One call with repeated ids, spread over many copy blocks, leaves the store
// as one call per record does: positions, vectors, metadata and scores.
TEST(InMemoryStore, OneCallEqualsOneRecordAtATime) {
    constexpr std::size_t dim = 5;
    std::mt19937_64 gen(23);
    std::normal_distribution<double> normal;
    std::uniform_int_distribution<int> pick(0, 699);
    std::vector<VectorRecord> records;
    for (int i = 0; i < 2000; ++i) {
        std::vector<double> v(dim);
        for (double& x : v) x = normal(gen);
        records.push_back(record("id" + std::to_string(pick(gen)), v, {{"i", i}}));
    }
    InMemoryStore whole("docs", dim);
    InMemoryStore single("docs", dim);
    ASSERT_TRUE(whole.upsert(std::span(records).first(100)));
    ASSERT_TRUE(whole.upsert(std::span(records).subspan(100)));
    for (const VectorRecord& r : records) ASSERT_TRUE(single.upsert(std::span(&r, 1)));

    const auto all = [](const InMemoryStore& store) { return store.list(5000, std::nullopt).value().records; };
    const auto a = all(whole);
    const auto b = all(single);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].id, b[i].id);
        EXPECT_EQ(a[i].vector, b[i].vector);
        EXPECT_EQ(a[i].metadata, b[i].metadata);
    }
    const auto hits_a = whole.search(records[3].vector, 50).value();
    const auto hits_b = single.search(records[3].vector, 50).value();
    ASSERT_EQ(hits_a.size(), hits_b.size());
    for (std::size_t i = 0; i < hits_a.size(); ++i) {
        EXPECT_EQ(hits_a[i].id, hits_b[i].id);
        EXPECT_EQ(hits_a[i].score, hits_b[i].score);
    }
}

TEST(InMemoryStore, ListCursors) {
    InMemoryStore store("docs", 1);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(store.upsert(std::vector{record("r" + std::to_string(i), {1.0 + i})}));

    std::vector<std::string> cursors;
    std::vector<std::string> seen;
    std::optional<std::string> cursor;
    do {
        const Page page = store.list(2, cursor).value();
        for (const auto& id : ids_of(page.records)) seen.push_back(id);
        cursor = page.next_cursor;
        cursors.push_back(cursor.value_or("none"));
    } while (cursor);
    EXPECT_EQ(cursors, (std::vector<std::string>{"2", "4", "none"}));
    EXPECT_EQ(seen, (std::vector<std::string>{"r0", "r1", "r2", "r3", "r4"}));

    // Anything but an optional '+' and digits within 64 bits starts again at the first record.
    for (const char* bad : {"abc", "-1", " 1", "1 ", "", "+", "++1", "18446744073709551616"}) {
        const Page page = store.list(2, bad).value();
        EXPECT_EQ(ids_of(page.records), (std::vector<std::string>{"r0", "r1"})) << bad;
    }
    EXPECT_EQ(ids_of(store.list(5, "+3")->records), (std::vector<std::string>{"r3", "r4"}));
    EXPECT_EQ(ids_of(store.list(5, "0003")->records), (std::vector<std::string>{"r3", "r4"}));

    const Page none = store.list(0, "3").value();
    EXPECT_TRUE(none.records.empty());
    EXPECT_EQ(none.next_cursor, "3");
    EXPECT_EQ(store.list(0, std::nullopt)->next_cursor, "0");
    const Page past = store.list(2, "18446744073709551615").value();
    EXPECT_TRUE(past.records.empty());
    EXPECT_FALSE(past.next_cursor);
}

// Every record scored in sequence and stably sorted: the plain reading of a
// brute-force cosine search.
std::vector<std::pair<std::string, double>> reference_search(const std::vector<VectorRecord>& records,
                                                             const std::vector<double>& q, std::size_t k) {
    constexpr double eps = std::numeric_limits<double>::epsilon();
    auto norm = [](const std::vector<double>& v) {
        double s = 0;
        for (double x : v) s += x * x;
        return std::sqrt(s);
    };
    std::vector<std::pair<std::string, double>> scored;
    for (const auto& r : records) {
        double d = 0;
        for (std::size_t i = 0; i < q.size(); ++i) d += q[i] * r.vector[i];
        const double qn = norm(q), vn = norm(r.vector);
        scored.emplace_back(r.id, r.vector.empty() || qn < eps || vn < eps ? 0.0 : d / (qn * vn));
    }
    std::stable_sort(scored.begin(), scored.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    scored.resize(std::min(k, scored.size()));
    return scored;
}

TEST(InMemoryStore, SearchMatchesAFullSortedScan) {
    constexpr std::size_t dim = 37;
    std::mt19937_64 gen(3);
    std::normal_distribution<double> normal;
    std::vector<VectorRecord> records;
    // More records than one search task scores, so ties meet across tasks.
    for (int i = 0; i < 9000; ++i) {
        std::vector<double> v(dim);
        for (double& x : v) x = normal(gen);
        records.push_back(record("r" + std::to_string(i), v, {{"i", i}}));
    }
    records[7].vector.assign(dim, 0.0);  // scores 0 against anything
    records[9].vector = records[4].vector;  // ties: insertion order decides
    records[8500].vector = records[4].vector;
    InMemoryStore store("docs", dim);
    ASSERT_TRUE(store.upsert(records));

    const std::vector<double> q = records[4].vector;
    for (const std::size_t k : {0u, 1u, 10u, 300u, 1000u}) {
        const auto hits = store.search(q, k).value();
        const auto expected = reference_search(records, q, k);
        ASSERT_EQ(hits.size(), expected.size());
        for (std::size_t i = 0; i < hits.size(); ++i) {
            EXPECT_EQ(hits[i].id, expected[i].first);
            EXPECT_NEAR(hits[i].score, expected[i].second, 1e-12);
        }
        if (k >= 2) {
            EXPECT_EQ(hits[0].id, "r4");
            EXPECT_EQ(hits[1].id, "r9");
            if (k >= 3) {
                EXPECT_EQ(hits[2].id, "r8500");
            }
            EXPECT_EQ(hits[0].vector, records[4].vector);
            EXPECT_EQ(hits[0].metadata, (Metadata{{"i", 4}}));
        }
    }

    // A zero query scores everything 0 and keeps insertion order.
    const auto zero = store.search(std::vector<double>(dim, 0.0), 3).value();
    EXPECT_EQ((std::vector<std::string>{zero[0].id, zero[1].id, zero[2].id}),
              (std::vector<std::string>{"r0", "r1", "r2"}));
    EXPECT_EQ(zero[2].score, 0.0);

    InMemoryStore empty("e", 4);
    EXPECT_EQ(empty.search(std::vector<double>(3, 1.0), 5).error().message(), "dimension mismatch: expected 4, got 3");
}

// The store's score written out: eight interleaved sums joined pairwise,
// over the product of the two norms; 0 when a norm is below epsilon.
double plain_score(const std::vector<double>& q, const std::vector<double>& v) {
    if (core::l2_norm(q) < core::kEps || core::l2_norm(v) < core::kEps) return 0.0;
    double lane[8] = {};
    for (std::size_t i = 0; i < q.size(); ++i) lane[i % 8] += q[i] * v[i];
    const double dot = ((lane[0] + lane[1]) + (lane[2] + lane[3])) + ((lane[4] + lane[5]) + (lane[6] + lane[7]));
    return dot / (core::l2_norm(q) * core::l2_norm(v));
}

// Where every sum is finite the score is the plain formula to the bit; where
// a sum overflows it is still the cosine, finite.
TEST(InMemoryStore, ScoresPlainWhereFiniteAndFiniteWhereSumsOverflow) {
    std::mt19937_64 gen(5);
    std::normal_distribution<double> normal;
    for (const double scale : {1.0, 1e-7, 1e150, 1e160, 1e300}) {
        for (const std::size_t dim : {1u, 3u, 8u, 19u, 384u, 389u}) {
            std::vector<VectorRecord> records;
            for (int i = 0; i < 40; ++i) {
                std::vector<double> v(dim);
                for (double& x : v) x = scale * normal(gen);
                records.push_back(record("r" + std::to_string(i), v));
            }
            InMemoryStore store("docs", dim);
            ASSERT_TRUE(store.upsert(records));
            const std::vector<double> q = records[0].vector;
            const std::vector<SearchResult> hits = store.search(q, records.size()).value();
            for (const SearchResult& hit : hits) {
                const auto& v = *hit.vector;
                if (scale <= 1e150) {
                    EXPECT_EQ(hit.score, plain_score(q, v)) << scale << " " << dim;
                } else {
                    ASSERT_TRUE(std::isfinite(hit.score)) << scale << " " << dim;
                    EXPECT_NEAR(hit.score, core::cosine_similarity(q, v), 4e-16) << scale << " " << dim;
                }
            }
        }
    }
    InMemoryStore store("docs", 3);
    ASSERT_TRUE(store.upsert(std::vector{record("big", {1e200, 1e200, 1e200}), record("tiny", {1e-200, 0, 0})}));
    const auto hits = store.search(std::vector<double>{1e200, 1e200, 1e200}, 2).value();
    EXPECT_NEAR(hits[0].score, 1.0, 4e-16);
    EXPECT_EQ(hits[1].score, 0.0);  // a norm below epsilon
}

TEST(InMemoryStore, DimensionZero) {
    InMemoryStore store("z", 0);
    ASSERT_TRUE(store.upsert(std::vector{record("a", {}), record("b", {})}));
    EXPECT_EQ(store.upsert(std::vector{record("c", {1.0})}).error().message(), "dimension mismatch: expected 0, got 1");
    const auto hits = store.search({}, 5).value();
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].score, 0.0);
    EXPECT_EQ(hits[1].score, 0.0);
}

// A host's interrupt poll may wait for a lock whose holder waits for the
// store (Python's interpreter lock held by an upsert): neither a search nor an
// upsert may poll while it holds the store's lock. Each poll here runs the
// other kind of operation on another thread and waits for it.
TEST(InMemoryStore, NeverPollsUnderItsLock) {
    using namespace std::chrono_literals;
    struct Probe {
        InMemoryStore store{"docs", 2};
        bool searching = true;
        std::future<void> other;
        int polls = 0;
        int other_blocked = 0;
    };
    for (const bool searching : {true, false}) {
        Probe probe;
        probe.searching = searching;
        ASSERT_TRUE(probe.store.upsert(std::vector{record("a", {1, 0}), record("b", {0, 1})}));
        const auto poll = [](void* context) {
            auto& p = *static_cast<Probe*>(context);
            ++p.polls;
            if (!p.other.valid()) {
                p.other = std::async(std::launch::async, [&p] {
                    if (p.searching) {
                        (void)p.store.upsert(std::vector{record("c", {1, 1})});
                    } else {
                        (void)p.store.count();
                    }
                });
            }
            if (p.other.wait_for(2s) == std::future_status::timeout) ++p.other_blocked;
            return false;
        };
        {
            const core::InterruptScope scope({poll, &probe});
            core::check_interrupt();
            std::this_thread::sleep_for(core::kPollInterval + 10ms);
            if (searching) {
                ASSERT_TRUE(probe.store.search(std::vector<double>{1, 0}, 3));
            } else {
                ASSERT_TRUE(probe.store.upsert(std::vector{record("d", {2, 1})}));
            }
        }
        probe.other.wait();
        EXPECT_GT(probe.polls, 0);
        EXPECT_EQ(probe.other_blocked, 0);
        EXPECT_EQ(*probe.store.count(), 3u);
    }
}

// An interrupt during an upsert stops it with none of its records stored,
// replacements included.
TEST(InMemoryStore, InterruptedUpsertStoresNothing) {
    using namespace std::chrono_literals;
    InMemoryStore store("docs", 2);
    ASSERT_TRUE(store.upsert(std::vector{record("a", {1, 0}, {{"k", 1}})}));
    const auto interrupt = [](void*) { return true; };
    const core::InterruptScope scope({interrupt, nullptr});
    core::check_interrupt();
    std::this_thread::sleep_for(core::kPollInterval + 10ms);
    EXPECT_THROW((void)store.upsert(std::vector{record("b", {0, 1}), record("a", {3, 3})}), core::Interrupted);
    EXPECT_EQ(listed(store), std::vector<std::string>{"a"});
    EXPECT_EQ(store.get("a").value()->vector, (std::vector<double>{1, 0}));
}

TEST(InMemoryStore, SetPayloadMergesAndSkipsUnknownIds) {
    InMemoryStore store("docs", 2);
    ASSERT_TRUE(store.upsert(std::vector{record("a", {1, 0}, {{"keep", 1}, {"k", "old"}}), record("b", {0, 1})}));
    ASSERT_TRUE(store.set_payload({}));
    const std::vector<PayloadUpdate> updates{{"ghost", {{"k", 9}}}, {"a", {{"k", "new"}, {"n", nullptr}}}};
    ASSERT_TRUE(store.set_payload(updates));
    EXPECT_EQ(store.get("a").value()->metadata, (Metadata{{"keep", 1}, {"k", "new"}, {"n", nullptr}}));
    EXPECT_TRUE(store.get("b").value()->metadata.empty());
    EXPECT_EQ(*store.count(), 2u);
}

TEST(TopK, IeeeTotalOrderStableAndCut) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> scores{1.0, -0.0, nan, 0.0, -nan, 1.0, inf, -inf};
    const std::vector<std::size_t> order{2, 6, 0, 5, 3, 1, 7, 4};
    for (const std::size_t k : {0u, 3u, 8u}) {
        TopK best(k);
        for (std::size_t i = 0; i < scores.size(); ++i) best.offer(i, scores[i]);
        std::vector<std::size_t> got;
        for (const auto& kept : best.take()) got.push_back(kept.position);
        EXPECT_EQ(got, std::vector<std::size_t>(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(k)));
    }
}

}  // namespace
}  // namespace vantorel::vectordb
