#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

#include <oneapi/tbb/global_control.h>

#include "core/distance.hpp"
#include "embed/category/category_fixture.hpp"
#include "vectordb/in_memory_store.hpp"
#include "vectordb/store_bridge.hpp"

namespace vantorel::vectordb {
namespace {

using embed::testing::clustered;

// An in-memory store that records the calls the bridge makes, and can hide
// the vectors of its search hits as some backends do.
class RecordingStore final : public VectorStore {
public:
    explicit RecordingStore(std::uint64_t dim) : inner(std::make_shared<InMemoryStore>("rec", dim)) {}

    StoreStatus upsert(std::span<const VectorRecord> records) override { return inner->upsert(records); }
    StoreResult<std::vector<SearchResult>> search(std::span<const double> q, std::uint64_t k) const override {
        auto hits = inner->search(q, k);
        if (hide_vectors && hits) {
            for (auto& h : *hits) h.vector.reset();
        }
        return hits;
    }
    StoreResult<Page> list(std::uint64_t limit, std::optional<std::string_view> cursor) const override {
        ++list_calls;
        return inner->list(limit, cursor);
    }
    StoreResult<std::uint64_t> count() const override { return inner->count(); }
    StoreStatus set_payload(std::span<const PayloadUpdate> updates) override {
        payload_sizes.push_back(updates.size());
        return inner->set_payload(updates);
    }
    StoreResult<std::optional<VectorRecord>> get(std::string_view id) const override { return inner->get(id); }

    std::shared_ptr<InMemoryStore> inner;
    bool hide_vectors = false;
    mutable std::size_t list_calls = 0;
    std::vector<std::size_t> payload_sizes;
};

// A fixed list of records of any lengths, paged like the in-memory store.
class FixedStore final : public VectorStore {
public:
    explicit FixedStore(std::vector<VectorRecord> records) : records_(std::move(records)) {}

    StoreStatus upsert(std::span<const VectorRecord>) override { return std::monostate{}; }
    StoreResult<std::vector<SearchResult>> search(std::span<const double>, std::uint64_t) const override {
        return std::vector<SearchResult>{};
    }
    StoreResult<Page> list(std::uint64_t limit, std::optional<std::string_view> cursor) const override {
        const std::size_t from = cursor ? std::stoul(std::string(*cursor)) : 0;
        const std::size_t to = std::min(records_.size(), from + static_cast<std::size_t>(limit));
        const auto begin = records_.begin();
        Page page{{begin + static_cast<std::ptrdiff_t>(from), begin + static_cast<std::ptrdiff_t>(to)}, {}};
        if (to < records_.size()) page.next_cursor = std::to_string(to);
        return page;
    }
    StoreResult<std::uint64_t> count() const override { return records_.size(); }
    StoreStatus set_payload(std::span<const PayloadUpdate>) override { return std::monostate{}; }
    StoreResult<std::optional<VectorRecord>> get(std::string_view) const override {
        return std::optional<VectorRecord>{};
    }

private:
    std::vector<VectorRecord> records_;
};

struct Captured : DiagnosticReceiver {
    bool enabled(DiagnosticLevel) const override { return true; }
    void receive(const DiagnosticEvent& e) override {
        std::string line = std::string(e.target) + " | " + std::string(e.message);
        for (const auto& f : e.fields) line += " " + std::string(f.name) + "=" + std::to_string(f.value);
        lines.push_back(line);
    }
    std::vector<std::string> lines;
};

const CategoryExtractor category_of = metadata_category("category");

std::vector<VectorRecord> records_of(const embed::testing::LabelledCorpus& corpus) {
    std::vector<VectorRecord> out;
    for (std::size_t i = 0; i < corpus.embeddings.size(); ++i) {
        const auto row = corpus.embeddings[i];
        out.push_back(
            {"doc-" + std::to_string(i), {row.begin(), row.end()}, {{"category", corpus.labels[i]}, {"n", i}}});
    }
    return out;
}

std::shared_ptr<InMemoryStore> filled(const std::vector<VectorRecord>& records, std::uint64_t dim) {
    auto store = std::make_shared<InMemoryStore>("docs", dim);
    EXPECT_TRUE(store->upsert(records));
    return store;
}

std::string build_error(VectorStoreBridge& bridge) {
    auto built = bridge.build_pipeline(category_of);
    return built ? "built" : built.error().message();
}

TEST(StoreBridge, NothingAnswersBeforeABuild) {
    const auto corpus = clustered(2, 5, 4, 0.3, 1);
    VectorStoreBridge bridge(filled(records_of(corpus), 4));
    const std::string not_built = "pipeline not built \xE2\x80\x94 call build_pipeline() first";
    EXPECT_EQ(bridge.current(), nullptr);
    EXPECT_EQ(bridge.query(embed::query::Nearest{3}, corpus.embeddings[0]).error().message(), not_built);
    EXPECT_EQ(bridge.sync_projections().error().message(), not_built);
    EXPECT_EQ(bridge.hybrid_search(corpus.embeddings[0], 5, 20).error().message(), not_built);
}

TEST(StoreBridge, RecordChecksComeInOrder) {
    auto empty = std::make_shared<InMemoryStore>("docs", 3);
    VectorStoreBridge on_empty(empty);
    EXPECT_EQ(build_error(on_empty), "insufficient data: need at least 3 records, got 0");

    std::vector<VectorRecord> records;
    for (int i = 0; i < 10; ++i) records.push_back({"r" + std::to_string(i), {1.0 + i, 2.0, 3.0 - i}, {}});
    VectorStoreBridge capped(filled(records, 3), {.max_records = 2});
    EXPECT_EQ(build_error(capped), "insufficient data: need at least 3 records, got 2");
    VectorStoreBridge batch_zero(filled(records, 3), {.batch_size = 0});
    EXPECT_EQ(build_error(batch_zero), "insufficient data: need at least 3 records, got 0");

    auto first_failure = [&](std::vector<std::pair<std::size_t, std::vector<double>>> changes) {
        auto changed = records;
        for (auto& [at, v] : changes) changed[at].vector = std::move(v);
        VectorStoreBridge bridge(std::make_shared<FixedStore>(std::move(changed)), {.batch_size = 4});
        return build_error(bridge);
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(first_failure({{4, {0, 0, 0}}}),
              "invalid configuration: record 'r4' (index 4) is a near-zero vector (magnitude 0.00e0)");
    EXPECT_EQ(first_failure({{5, {1, 2}}, {7, {0, 0, 0}}}), "dimension mismatch: expected 3, got 2");
    EXPECT_EQ(first_failure({{2, {1e-10, 0, 0}}, {5, {1, 2}}}),
              "invalid configuration: record 'r2' (index 2) is a near-zero vector (magnitude 1.00e-10)");
    EXPECT_EQ(first_failure({{3, {1, nan, 0}}, {6, {0, 0, 0}}}),
              "invalid configuration: record 'r3' (index 3) has a non-finite value");
    EXPECT_EQ(first_failure({{1, {-std::numeric_limits<double>::infinity(), 0, 0}}}),
              "invalid configuration: record 'r1' (index 1) has a non-finite value");
    EXPECT_EQ(first_failure({}), "built");

    // An empty vector's magnitude is -0.
    VectorStoreBridge flat(filled({{"a", {}, {}}, {"b", {}, {}}, {"c", {}, {}}}, 0));
    EXPECT_EQ(build_error(flat),
              "invalid configuration: record 'a' (index 0) is a near-zero vector (magnitude -0.00e0)");
    // Below three dimensions the PCA fit refuses, and the bridge passes its text on.
    std::vector<VectorRecord> planar{{"a", {1, 0}, {}}, {"b", {0, 1}, {}}, {"c", {1, 1}, {}}};
    VectorStoreBridge low(filled(planar, 2));
    EXPECT_EQ(build_error(low),
              "invalid configuration: embedding dimension 2 is below the minimum 3 for this projection");
}

// Ids and distances of a nearest answer.
std::vector<std::string> nearest_ids(const embed::VantorelOutput& out) {
    std::vector<std::string> ids;
    for (const auto& hit : std::get<embed::output::Nearest>(out).hits) {
        ids.push_back(hit.id + "@" + std::to_string(hit.distance));
    }
    return ids;
}

TEST(StoreBridge, BuildsWhatAPlainPipelineBuilds) {
    const auto corpus = clustered(3, 20, 6, 0.3, 5);
    VectorStoreBridge bridge(filled(records_of(corpus), 6));
    const auto built = bridge.build_pipeline(category_of).value();
    EXPECT_EQ(bridge.current(), built);
    EXPECT_EQ(built->ids.front(), "doc-0");
    EXPECT_EQ(built->vectors.values().size(), corpus.embeddings.values().size());

    auto pca = embed::PcaProjection::fit(corpus.embeddings, embed::RadialStrategy::magnitude()).value();
    pca.set_volumetric(true);
    const auto plain = embed::VantorelPipeline::with_projection(corpus.labels, corpus.embeddings, pca).value();
    EXPECT_EQ(built->pipeline.to_json(), plain.to_json());
    const auto q = corpus.embeddings[7];
    EXPECT_EQ(nearest_ids(bridge.query(embed::query::Nearest{6}, q).value()),
              nearest_ids(plain.query(embed::query::Nearest{6}, q).value()));
    const auto drill = bridge.query(embed::query::DrillDown{"c1", 4}, q).value();
    const auto plain_drill = plain.query(embed::query::DrillDown{"c1", 4}, q).value();
    ASSERT_EQ(std::get<embed::output::DrillDown>(drill).hits.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(std::get<embed::output::DrillDown>(drill).hits[i].item_index,
                  std::get<embed::output::DrillDown>(plain_drill).hits[i].item_index);
    }
    EXPECT_EQ(bridge.query(embed::query::DrillDown{"nope", 4}, q).error().message(),
              "invalid configuration: unknown category: nope");

    embed::PipelineConfig config = embed::testing::quick_config();
    config.projection_kind = embed::ProjectionKind::KernelPca;
    const auto kernel = bridge.build_pipeline_with_config(config, category_of).value();
    EXPECT_EQ(kernel->projection().kind(), embed::ProjectionKind::KernelPca);
    EXPECT_EQ(kernel->pipeline.to_json(),
              embed::VantorelPipeline::make_with_config(corpus.labels, corpus.embeddings, config)->to_json());

    // A failing rebuild leaves the last build in place.
    ASSERT_TRUE(bridge.store()->upsert(std::vector<VectorRecord>{{"doc-3", std::vector<double>(6, 0.0), {}}}));
    EXPECT_EQ(build_error(bridge),
              "invalid configuration: record 'doc-3' (index 3) is a near-zero vector (magnitude 0.00e0)");
    EXPECT_EQ(bridge.current(), kernel);
    EXPECT_TRUE(bridge.query(embed::query::Nearest{3}, q));
}

TEST(StoreBridge, PagesLoadsAndSyncsInChunks) {
    auto store = std::make_shared<RecordingStore>(3);
    std::vector<VectorRecord> records;
    for (int i = 0; i < 1000; ++i) {
        const double t = 0.01 * i;
        records.push_back({"r" + std::to_string(i), {std::cos(t), std::sin(t), 0.5 + 0.1 * std::sin(3 * t)},
                           {{"category", i % 2 == 0 ? JsonValue("even") : JsonValue(i)}}});
    }
    ASSERT_TRUE(store->upsert(records));
    VectorStoreBridge capped(store, {.batch_size = 100, .max_records = 150});
    const auto built = capped.build_pipeline(category_of).value();
    EXPECT_EQ(store->list_calls, 2u);
    ASSERT_EQ(built->ids.size(), 150u);
    EXPECT_EQ(built->ids.back(), "r149");
    // A category that is no JSON string reads as "unknown".
    EXPECT_EQ(built->pipeline.unique_categories(), (std::vector<std::string>{"even", "unknown"}));

    VectorStoreBridge bridge(store, {.batch_size = 100, .max_records = 250});
    const auto snapshot = bridge.build_pipeline(category_of).value();
    EXPECT_EQ(bridge.sync_projections().value(), 250u);
    EXPECT_EQ(store->payload_sizes, (std::vector<std::size_t>{100, 100, 50}));
    const auto r7 = store->get("r7").value().value();
    const core::SphericalPoint p = snapshot->projection().project(r7.vector);
    EXPECT_EQ(r7.metadata, (Metadata{{"category", 7},
                                     {"_vantorel_r", p.r},
                                     {"_vantorel_theta", p.theta},
                                     {"_vantorel_phi", p.phi}}));
    EXPECT_EQ(store->get("r250").value()->metadata.size(), 1u);
}

TEST(StoreBridge, HybridSearchReranksTheStoresRecall) {
    const auto corpus = clustered(3, 30, 8, 0.5, 9);
    auto store = std::make_shared<RecordingStore>(8);
    ASSERT_TRUE(store->upsert(records_of(corpus)));
    auto events = std::make_shared<Captured>();
    VectorStoreBridge bridge(store, {.diagnostics = events});
    ASSERT_TRUE(bridge.build_pipeline(category_of));

    std::vector<double> q(corpus.embeddings[4].begin(), corpus.embeddings[4].end());
    q[0] += 0.7;
    // Direct re-rank: the store's recall, stably sorted by exact cosine.
    const auto recall = store->search(q, 20).value();
    std::vector<std::pair<double, std::size_t>> reranked;
    for (std::size_t i = 0; i < recall.size(); ++i) {
        reranked.emplace_back(core::cosine_similarity(q, *recall[i].vector), i);
    }
    std::stable_sort(reranked.begin(), reranked.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    const auto hits = bridge.hybrid_search(q, 5, 20).value();
    ASSERT_EQ(hits.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(hits[i].id, recall[reranked[i].second].id);
        EXPECT_EQ(hits[i].score, recall[reranked[i].second].score);  // the store's score, not the re-rank's
    }
    EXPECT_TRUE(events->lines.empty());

    EXPECT_EQ(bridge.hybrid_search(q, 5, 3)->size(), 3u);
    EXPECT_TRUE(bridge.hybrid_search(q, 0, 3)->empty());
    store->hide_vectors = true;
    EXPECT_TRUE(bridge.hybrid_search(q, 0, 4)->empty());
    const std::string target = "vantorel_vectordb::bridge | ";
    EXPECT_EQ(events->lines,
              (std::vector<std::string>{
                  target + "hybrid_search returned fewer results than requested; consider raising recall_k or "
                           "enabling vector storage on the backend recalled=3 dropped_no_vector=0 final_k=5 recall_k=3",
                  target + "hybrid_search dropped candidates missing `vector`; re-rank couldn't score them "
                           "dropped_no_vector=4"}));
    EXPECT_EQ(bridge.hybrid_search(std::vector<double>(3, 1.0), 5, 20).error().message(),
              "dimension mismatch: expected 8, got 3");
}

TEST(StoreBridge, QueriesDuringRebuildsAnswerFromOneBuild) {
    // The pool is not instrumented for the race detector this test runs under:
    // keep parallel loops on the threads that start them.
    const tbb::global_control one(tbb::global_control::max_allowed_parallelism, 1);
    const auto a = clustered(3, 12, 5, 0.3, 21);
    const auto b = clustered(3, 12, 5, 0.3, 22);
    auto store = filled(records_of(a), 5);
    VectorStoreBridge bridge(store);
    const std::vector<double> q(a.embeddings[0].begin(), a.embeddings[0].end());
    ASSERT_TRUE(bridge.build_pipeline(category_of));
    const auto answer_a = nearest_ids(bridge.query(embed::query::Nearest{8}, q).value());
    ASSERT_TRUE(store->upsert(records_of(b)));
    ASSERT_TRUE(bridge.build_pipeline(category_of));
    const auto answer_b = nearest_ids(bridge.query(embed::query::Nearest{8}, q).value());
    ASSERT_NE(answer_a, answer_b);

    std::atomic<bool> done{false};
    std::atomic<int> mixed{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&] {
            while (!done) {
                const auto answer = nearest_ids(bridge.query(embed::query::Nearest{8}, q).value());
                if (answer != answer_a && answer != answer_b) ++mixed;
            }
        });
    }
    for (int round = 0; round < 6; ++round) {
        ASSERT_TRUE(store->upsert(records_of(round % 2 == 0 ? a : b)));
        ASSERT_TRUE(bridge.build_pipeline(category_of));
    }
    done = true;
    for (auto& r : readers) r.join();
    EXPECT_EQ(mixed, 0);
}

}  // namespace
}  // namespace vantorel::vectordb
