#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "embed/config.hpp"
#include "embed/embedding.hpp"
#include "embed/pipeline/pipeline.hpp"
#include "embed/projection/projection.hpp"
#include "vectordb/diagnostics.hpp"
#include "vectordb/vector_store.hpp"

namespace vantorel::vectordb {

// Reads the category of one record; called once per record, in fetch order,
// after every check has passed.
using CategoryExtractor = std::function<std::string(const VectorRecord&)>;

// The metadata entry under `key` when it is a JSON string, else "unknown".
CategoryExtractor metadata_category(std::string key);

struct BridgeSettings {
    // Radius rule and volumetric flag of the PCA fitted by `build_pipeline`.
    embed::RadialStrategy radial = embed::RadialStrategy::magnitude();
    bool volumetric = true;
    // Records per page when loading, updates per call when syncing; 0 loads nothing.
    std::uint64_t batch_size = 100;
    std::uint64_t max_records = 500000;
    // Receiver of the hybrid search's diagnostic events; none by default.
    std::shared_ptr<DiagnosticReceiver> diagnostics = nullptr;
};

// The records that passed the checks of a build, all in fetch order.
struct PreparedRecords {
    std::vector<std::string> ids;
    std::vector<std::string> categories;
    embed::Corpus vectors;
};

// What one successful build produced: the pipeline with its projection and
// the ids and vectors it was built from. Published whole and never changed,
// so a reader holding one sees a single build.
struct BridgeSnapshot {
    embed::VantorelPipeline pipeline;
    std::vector<std::string> ids;
    embed::Corpus vectors;

    [[nodiscard]] const embed::ConfiguredProjection& projection() const noexcept { return pipeline.projection(); }
    // A pipeline query; the embedding must have the projection's input length
    // for the kinds that project it. Engine errors come back as InvalidConfig.
    [[nodiscard]] StoreResult<embed::VantorelOutput> query(const embed::PipelineQuery& q,
                                                           std::span<const double> embedding) const;
};

// Builds the engine pipeline over the records of a store, answers pipeline
// queries from it, writes projected coordinates back into the store and runs
// hybrid search. Every operation runs to completion on the calling thread.
// A build publishes its snapshot only on success; queries take the snapshot
// current when they start, so a query during a rebuild answers from the old
// build or the new one, never a mix.
class VectorStoreBridge {
public:
    explicit VectorStoreBridge(std::shared_ptr<VectorStore> store, BridgeSettings settings = {});

    [[nodiscard]] const BridgeSettings& settings() const noexcept { return settings_; }
    [[nodiscard]] const std::shared_ptr<VectorStore>& store() const noexcept { return store_; }
    // The last successful build; null before the first.
    [[nodiscard]] std::shared_ptr<const BridgeSnapshot> current() const;

    // Every record in list order, at most `max_records`, read `batch_size` at a time.
    [[nodiscard]] StoreResult<std::vector<VectorRecord>> fetch_all() const;
    // Fetches and checks the records: at least three, one length, none near zero or non-finite.
    [[nodiscard]] StoreResult<PreparedRecords> prepare_records(const CategoryExtractor& extractor) const;

    // A PCA with the settings' radial rule and volumetric flag, then the
    // pipeline around it with the default configuration.
    StoreResult<std::shared_ptr<const BridgeSnapshot>> build_pipeline(const CategoryExtractor& extractor);
    // The projection `config` names, fitted by the engine.
    StoreResult<std::shared_ptr<const BridgeSnapshot>> build_pipeline_with_config(embed::PipelineConfig config,
                                                                                   const CategoryExtractor& extractor);

    [[nodiscard]] StoreResult<embed::VantorelOutput> query(const embed::PipelineQuery& q,
                                                           std::span<const double> embedding) const;
    // Writes "_vantorel_r", "_vantorel_theta" and "_vantorel_phi" of each built
    // record in chunks of `batch_size`; returns the number of updates made.
    [[nodiscard]] StoreResult<std::uint64_t> sync_projections() const;
    // The store's `recall_k` best, re-ranked by exact cosine to the query, cut
    // to `final_k`; each hit keeps the store's own score.
    [[nodiscard]] StoreResult<std::vector<SearchResult>> hybrid_search(std::span<const double> query,
                                                                       std::uint64_t final_k,
                                                                       std::uint64_t recall_k) const;

private:
    std::shared_ptr<const BridgeSnapshot> publish(BridgeSnapshot snapshot);
    // The installed receiver when it wants events of `level`, else null.
    [[nodiscard]] DiagnosticReceiver* receiver_for(DiagnosticLevel level) const;

    std::shared_ptr<VectorStore> store_;
    BridgeSettings settings_;
    mutable std::mutex mutex_;  // guards `built_`, the pointer only
    std::shared_ptr<const BridgeSnapshot> built_;
};

}  // namespace vantorel::vectordb
