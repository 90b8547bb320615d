#include "vectordb/store_bridge.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "core/distance.hpp"
#include "vectordb/top_k.hpp"

namespace vantorel::vectordb {
namespace {

constexpr std::string_view kTarget = "vantorel_vectordb::bridge";

VectorStoreError not_built() { return VectorStoreError{store_error::PipelineNotBuilt{}}; }

JsonValue coordinate(double v) { return std::isfinite(v) ? JsonValue(v) : JsonValue(nullptr); }

}  // namespace

StoreResult<embed::VantorelOutput> BridgeSnapshot::query(const embed::PipelineQuery& q,
                                                         std::span<const double> embedding) const {
    auto output = pipeline.query(q, embedding);
    if (!output) return core::Unexpected{VectorStoreError{store_error::InvalidConfig{output.error().message()}}};
    return std::move(output).value();
}

StoreResult<embed::VantorelOutput> VectorStoreBridge::query(const embed::PipelineQuery& q,
                                                            std::span<const double> embedding) const {
    const auto snapshot = current();
    if (!snapshot) return core::Unexpected{not_built()};
    return snapshot->query(q, embedding);
}

StoreResult<std::uint64_t> VectorStoreBridge::sync_projections() const {
    const auto snapshot = current();
    if (!snapshot) return core::Unexpected{not_built()};
    const std::size_t n = std::min(snapshot->ids.size(), snapshot->vectors.size());
    std::vector<PayloadUpdate> updates;
    updates.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const core::SphericalPoint p = snapshot->projection().project(snapshot->vectors[i]);
        updates.push_back({snapshot->ids[i],
                           {{"_vantorel_r", coordinate(p.r)},
                            {"_vantorel_theta", coordinate(p.theta)},
                            {"_vantorel_phi", coordinate(p.phi)}}});
    }
    // A build loads nothing with a batch size of 0, so a snapshot implies chunks of at least one.
    const std::size_t chunk = static_cast<std::size_t>(settings_.batch_size);
    for (std::size_t start = 0; start < n; start += chunk) {
        const std::span<const PayloadUpdate> part(updates.data() + start, std::min(chunk, n - start));
        if (auto sent = store_->set_payload(part); !sent) return core::Unexpected{std::move(sent).error()};
    }
    return static_cast<std::uint64_t>(n);
}

StoreResult<std::vector<SearchResult>> VectorStoreBridge::hybrid_search(std::span<const double> query,
                                                                        std::uint64_t final_k,
                                                                        std::uint64_t recall_k) const {
    if (!current()) return core::Unexpected{not_built()};
    auto recalled = store_->search(query, recall_k);
    if (!recalled) return core::Unexpected{std::move(recalled).error()};
    std::vector<SearchResult>& candidates = *recalled;

    std::uint64_t dropped_no_vector = 0;
    TopK best(static_cast<std::size_t>(std::min<std::uint64_t>(final_k, candidates.size())));
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const auto& vector = candidates[i].vector;
        if (!vector) {
            ++dropped_no_vector;
            continue;
        }
        // A backend may return vectors of another length; cosine needs equal ones.
        if (vector->size() != query.size()) {
            return core::Unexpected{VectorStoreError{store_error::DimensionMismatch{query.size(), vector->size()}}};
        }
        best.offer(i, core::cosine_similarity(query, *vector));
    }

    std::vector<SearchResult> results;
    for (const auto& kept : best.take()) results.push_back(std::move(candidates[kept.position]));

    // Events are built only for an installed receiver that wants their level.
    if (results.size() < final_k) {
        if (DiagnosticReceiver* receiver = receiver_for(DiagnosticLevel::Warning)) {
            const std::array<DiagnosticField, 4> fields{{{"recalled", candidates.size()},
                                                         {"dropped_no_vector", dropped_no_vector},
                                                         {"final_k", final_k},
                                                         {"recall_k", recall_k}}};
            receiver->receive({DiagnosticLevel::Warning, kTarget,
                               "hybrid_search returned fewer results than requested; consider raising recall_k or "
                               "enabling vector storage on the backend",
                               fields});
        }
    } else if (dropped_no_vector > 0) {
        if (DiagnosticReceiver* receiver = receiver_for(DiagnosticLevel::Debug)) {
            const std::array<DiagnosticField, 1> fields{{{"dropped_no_vector", dropped_no_vector}}};
            receiver->receive({DiagnosticLevel::Debug, kTarget,
                               "hybrid_search dropped candidates missing `vector`; re-rank couldn't score them",
                               fields});
        }
    }
    return results;
}

DiagnosticReceiver* VectorStoreBridge::receiver_for(DiagnosticLevel level) const {
    DiagnosticReceiver* receiver = settings_.diagnostics.get();
    return receiver != nullptr && receiver->enabled(level) ? receiver : nullptr;
}

}  // namespace vantorel::vectordb
