#include "vectordb/store_bridge.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/format.hpp"
#include "embed/projection/pca_projection.hpp"

namespace vantorel::vectordb {
namespace {

VectorStoreError invalid_config(std::string detail) {
    return VectorStoreError{store_error::InvalidConfig{std::move(detail)}};
}

// The first record that fails a check, in fetch order; for each record the
// length comes first, then a near-zero magnitude, then a non-finite value.
std::optional<VectorStoreError> first_bad_record(const std::vector<VectorRecord>& records) {
    const std::size_t dim = records.front().vector.size();
    for (std::size_t i = 0; i < records.size(); ++i) {
        const VectorRecord& record = records[i];
        if (record.vector.size() != dim) {
            return VectorStoreError{store_error::DimensionMismatch{dim, record.vector.size()}};
        }
        const double magnitude = embed::magnitude(record.vector);
        if (magnitude < 1e-9) {
            return invalid_config(core::format("record '{}' (index {}) is a near-zero vector (magnitude {:.2e})",
                                               record.id, i, magnitude));
        }
        for (const double v : record.vector) {
            if (!std::isfinite(v)) {
                return invalid_config(core::format("record '{}' (index {}) has a non-finite value", record.id, i));
            }
        }
    }
    return std::nullopt;
}

}  // namespace

CategoryExtractor metadata_category(std::string key) {
    return [key = std::move(key)](const VectorRecord& record) -> std::string {
        const JsonValue* value = record.metadata.find(key);
        return value != nullptr && value->is_string() ? value->get<std::string>() : "unknown";
    };
}

VectorStoreBridge::VectorStoreBridge(std::shared_ptr<VectorStore> store, BridgeSettings settings)
    : store_(std::move(store)), settings_(std::move(settings)) {}

std::shared_ptr<const BridgeSnapshot> VectorStoreBridge::current() const {
    const std::lock_guard lock(mutex_);
    return built_;
}

std::shared_ptr<const BridgeSnapshot> VectorStoreBridge::publish(BridgeSnapshot snapshot) {
    auto shared = std::make_shared<const BridgeSnapshot>(std::move(snapshot));
    const std::lock_guard lock(mutex_);
    built_ = shared;
    return shared;
}

StoreResult<std::vector<VectorRecord>> VectorStoreBridge::fetch_all() const {
    std::vector<VectorRecord> records;
    // A page of no records ends the fetch, so a batch size of 0 loads nothing
    // whatever the store would answer for it.
    if (settings_.batch_size == 0) return records;
    std::optional<std::string> cursor;
    for (;;) {
        auto page = store_->list(settings_.batch_size, cursor);
        if (!page) return core::Unexpected{std::move(page).error()};
        const bool last = page->records.empty() || !page->next_cursor;
        for (VectorRecord& record : page->records) records.push_back(std::move(record));
        if (records.size() >= settings_.max_records) {
            records.resize(static_cast<std::size_t>(settings_.max_records));
            return records;
        }
        if (last) return records;
        cursor = std::move(page->next_cursor);
    }
}

StoreResult<PreparedRecords> VectorStoreBridge::prepare_records(const CategoryExtractor& extractor) const {
    auto fetched = fetch_all();
    if (!fetched) return core::Unexpected{std::move(fetched).error()};
    const std::vector<VectorRecord>& records = *fetched;
    if (records.size() < 3) {
        return core::Unexpected{VectorStoreError{
            store_error::InsufficientData{core::format("need at least 3 records, got {}", records.size())}}};
    }
    if (auto bad = first_bad_record(records)) return core::Unexpected{std::move(*bad)};

    PreparedRecords prepared;
    prepared.categories.reserve(records.size());
    for (const VectorRecord& record : records) prepared.categories.push_back(extractor(record));
    const std::size_t dim = records.front().vector.size();
    prepared.vectors = embed::Corpus::shaped(records.size(), dim);
    const auto values = prepared.vectors.mutable_values();
    prepared.ids.reserve(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        std::copy(records[i].vector.begin(), records[i].vector.end(), values.begin() + i * dim);
        prepared.ids.push_back(records[i].id);
    }
    return prepared;
}

StoreResult<std::shared_ptr<const BridgeSnapshot>> VectorStoreBridge::build_pipeline(
    const CategoryExtractor& extractor) {
    auto prepared = prepare_records(extractor);
    if (!prepared) return core::Unexpected{std::move(prepared).error()};
    auto fitted = embed::PcaProjection::fit(prepared->vectors, settings_.radial);
    if (!fitted) return core::Unexpected{invalid_config(fitted.error().message())};
    fitted->set_volumetric(settings_.volumetric);
    auto pipeline = embed::VantorelPipeline::with_projection(std::move(prepared->categories), prepared->vectors,
                                                             std::move(fitted).value());
    if (!pipeline) return core::Unexpected{invalid_config(pipeline.error().message())};
    return publish({std::move(pipeline).value(), std::move(prepared->ids), std::move(prepared->vectors)});
}

StoreResult<std::shared_ptr<const BridgeSnapshot>> VectorStoreBridge::build_pipeline_with_config(
    embed::PipelineConfig config, const CategoryExtractor& extractor) {
    auto prepared = prepare_records(extractor);
    if (!prepared) return core::Unexpected{std::move(prepared).error()};
    auto pipeline =
        embed::VantorelPipeline::make_with_config(std::move(prepared->categories), prepared->vectors, config);
    if (!pipeline) return core::Unexpected{invalid_config(pipeline.error().message())};
    return publish({std::move(pipeline).value(), std::move(prepared->ids), std::move(prepared->vectors)});
}

}  // namespace vantorel::vectordb
