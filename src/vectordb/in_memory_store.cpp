#include "vectordb/in_memory_store.hpp"

#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>
#include <limits>
#include <mutex>
#include <numeric>

#include "core/distance.hpp"
#include "core/interrupt.hpp"
#include "core/parallel.hpp"
#include "embed/embedding.hpp"
#include "vectordb/dot_kernel.hpp"
#include "vectordb/top_k.hpp"

namespace vantorel::vectordb {
namespace {

// Records scored by one parallel task of a search.
constexpr std::size_t kSearchBlock = 4096;

// Rows copied by one parallel task of an upsert.
constexpr std::size_t kCopyBlock = 256;

// Rows whose dot products are taken by one kernel call, then scored.
constexpr std::size_t kDotChunk = 64;

// The cosine of a query and a row from their dot product and norms, not
// clamped. A dot product or a product of norms that overflows takes the
// rescaled form, so two finite vectors always get a finite score; the plain
// one is kept wherever it is finite.
double score_of(std::span<const double> query, const double* row, double dot_product, double query_norm,
                double row_norm) noexcept {
    const double denom = query_norm * row_norm;
    if (std::isfinite(dot_product) && std::isfinite(denom)) return dot_product / denom;
    return core::rescaled_cosine_ratio(query, {row, query.size()});
}

// An optional '+' and one or more ASCII digits within 64 bits; anything else reads as 0.
std::uint64_t cursor_offset(std::optional<std::string_view> cursor) {
    if (!cursor) return 0;
    std::string_view text = *cursor;
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return 0;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return 0;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return 0;
        value = value * 10 + digit;
    }
    return value;
}

}  // namespace

InMemoryStore::InMemoryStore(std::string collection, std::uint64_t dimension)
    : collection_(std::move(collection)), dimension_(dimension) {}

void InMemoryStore::reserve_for(std::span<const VectorRecord> records) {
    // Room for the new ids of a whole call at once, growing geometrically so
    // that many small calls stay linear overall.
    std::size_t fresh = 0;
    for (const VectorRecord& record : records) {
        if (!position_of_.contains(std::string_view(record.id))) ++fresh;
    }
    const std::size_t wanted = entries_.size() + fresh;
    if (wanted <= entries_.capacity()) return;
    const std::size_t rows = std::max(wanted, 2 * entries_.capacity());
    entries_.reserve(rows);
    norms_.reserve(rows);
    vectors_.reserve(rows * dimension_);
    position_of_.reserve(rows);
}

VectorRecord InMemoryStore::record_at(std::size_t position) const {
    const auto values = row(position);
    return {entries_[position].id, {values.begin(), values.end()}, entries_[position].metadata};
}

StoreStatus InMemoryStore::upsert(std::span<const VectorRecord> records) {
    // The records before the first of a wrong length are stored; that one fails the call.
    const auto wrong = std::find_if(records.begin(), records.end(),
                                    [this](const VectorRecord& r) { return r.vector.size() != dimension_; });
    const std::span<const VectorRecord> stored = records.first(static_cast<std::size_t>(wrong - records.begin()));
    // The last chance for an interrupt to stop the call with nothing stored:
    // nothing polls under the lock (see search).
    core::check_interrupt();
    {
        const core::PollPause no_polls;
        const std::unique_lock lock(mutex_);
        place(stored);
    }
    if (wrong != records.end()) {
        return core::Unexpected{VectorStoreError{store_error::DimensionMismatch{dimension_, wrong->vector.size()}}};
    }
    return std::monostate{};
}

void InMemoryStore::place(std::span<const VectorRecord> records) {
    reserve_for(records);
    // Ids and metadata in order, each record's row noted; the rows follow in
    // one pass over the block. Out of memory half-way, the records placed so
    // far still get their rows, as a failing call keeps what came before.
    std::vector<std::size_t> row_of;
    row_of.reserve(records.size());
    std::exception_ptr failure;
    for (const VectorRecord& record : records) {
        const std::size_t fresh_row = entries_.size();
        try {
            const auto [it, inserted] = position_of_.try_emplace(record.id, fresh_row);
            if (inserted) {
                try {
                    entries_.push_back({record.id, record.metadata});
                } catch (...) {
                    position_of_.erase(it);
                    throw;
                }
            } else {
                Metadata metadata = record.metadata;
                entries_[it->second].metadata = std::move(metadata);
            }
            row_of.push_back(it->second);
        } catch (...) {
            failure = std::current_exception();
            break;
        }
    }
    // Reserved above: growing allocates nothing, and the new rows are first
    // written, not zeroed, by the copy below.
    vectors_.resize(entries_.size() * dimension_);
    norms_.resize(entries_.size());
    copy_rows(records.first(row_of.size()), row_of);
    if (failure) std::rethrow_exception(failure);
}

void InMemoryStore::copy_rows(std::span<const VectorRecord> records, std::span<const std::size_t> row_of) {
    // Each row is written once, by the last record of its id; taking the
    // writers in row order also walks the block front to back.
    std::vector<std::size_t> writers(records.size());
    std::iota(writers.begin(), writers.end(), std::size_t{0});
    if (!std::is_sorted(row_of.begin(), row_of.end(), std::less_equal<>{})) {
        std::stable_sort(writers.begin(), writers.end(),
                         [&row_of](std::size_t a, std::size_t b) { return row_of[a] < row_of[b]; });
        const auto last = std::unique(writers.rbegin(), writers.rend(), [&row_of](std::size_t a, std::size_t b) {
            return row_of[a] == row_of[b];
        });
        writers.erase(writers.begin(), last.base());
    }
    // Blocks of rows copied in parallel, each row's norm taken as it is
    // written: once per stored row, from the copy the searches read.
    core::for_each_block(writers.size(), kCopyBlock, [&](std::size_t, std::size_t begin, std::size_t end) {
        for (std::size_t w = begin; w < end; ++w) {
            const std::vector<double>& values = records[writers[w]].vector;
            const std::size_t at = row_of[writers[w]];
            std::copy(values.begin(), values.end(), vectors_.begin() + static_cast<std::ptrdiff_t>(at * dimension_));
            norms_[at] = embed::magnitude(row(at));
        }
    });
}

StoreResult<std::vector<SearchResult>> InMemoryStore::search(std::span<const double> query, std::uint64_t k) const {
    if (query.size() != dimension_) {
        return core::Unexpected{VectorStoreError{store_error::DimensionMismatch{dimension_, query.size()}}};
    }
    // No interrupt poll while the lock is held: a poll may wait for a host
    // lock (Python's) whose holder may be waiting for this store's lock.
    core::check_interrupt();
    const core::PollPause no_polls;
    const std::shared_lock lock(mutex_);
    const std::size_t n = entries_.size();
    constexpr double eps = std::numeric_limits<double>::epsilon();
    const double query_norm = embed::magnitude(query);
    // A NaN norm is not below epsilon: its scores stay NaN.
    const bool zero_query = dimension_ == 0 || query_norm < eps;

    // Blocks of records are scored in parallel, each keeping its own k best;
    // those are offered again in position order, which gives exactly the k
    // best of one pass over all records.
    const auto keep = static_cast<std::size_t>(std::min<std::uint64_t>(k, n));
    const double* rows = vectors_.data();
    std::vector<std::vector<TopK::Kept>> kept((n + kSearchBlock - 1) / kSearchBlock);
    core::for_each_block(n, kSearchBlock, [&](std::size_t block, std::size_t begin, std::size_t end) {
        TopK local(std::min(keep, end - begin));
        double dots[kDotChunk];
        for (std::size_t first = begin; first < end; first += kDotChunk) {
            const std::size_t count = std::min(kDotChunk, end - first);
            if (!zero_query) dot_rows(query.data(), rows + first * dimension_, dimension_, count, dots);
            for (std::size_t j = 0; j < count; ++j) {
                const std::size_t i = first + j;
                const double norm = norms_[i];
                const double score = zero_query || norm < eps
                                         ? 0.0
                                         : score_of(query, rows + i * dimension_, dots[j], query_norm, norm);
                local.offer(i, score);
            }
        }
        kept[block] = local.take();
        std::sort(kept[block].begin(), kept[block].end(),
                  [](const TopK::Kept& a, const TopK::Kept& b) { return a.position < b.position; });
    });
    TopK best(keep);
    for (const auto& block : kept) {
        for (const auto& [position, score] : block) best.offer(position, score);
    }

    std::vector<SearchResult> results;
    for (const auto& [position, score] : best.take()) {
        VectorRecord record = record_at(position);
        results.push_back({std::move(record.id), std::move(record.vector), std::move(record.metadata), score});
    }
    return results;
}

StoreResult<Page> InMemoryStore::list(std::uint64_t limit, std::optional<std::string_view> cursor) const {
    const std::shared_lock lock(mutex_);
    const std::uint64_t offset = cursor_offset(cursor);
    const std::uint64_t n = entries_.size();
    Page page;
    if (offset < n) {
        const std::uint64_t end = offset + std::min(limit, n - offset);
        page.records.reserve(static_cast<std::size_t>(end - offset));
        for (std::uint64_t i = offset; i < end; ++i) page.records.push_back(record_at(static_cast<std::size_t>(i)));
    }
    const std::uint64_t next = offset + page.records.size();
    if (next < n) page.next_cursor = std::to_string(next);
    return page;
}

StoreResult<std::uint64_t> InMemoryStore::count() const {
    const std::shared_lock lock(mutex_);
    return static_cast<std::uint64_t>(entries_.size());
}

StoreStatus InMemoryStore::set_payload(std::span<const PayloadUpdate> updates) {
    const std::unique_lock lock(mutex_);
    for (const PayloadUpdate& update : updates) {
        const auto it = position_of_.find(std::string_view(update.id));
        if (it == position_of_.end()) continue;
        Metadata& metadata = entries_[it->second].metadata;
        for (const auto& [key, value] : update.payload) metadata.set(key, value);
    }
    return std::monostate{};
}

StoreResult<std::optional<VectorRecord>> InMemoryStore::get(std::string_view id) const {
    const std::shared_lock lock(mutex_);
    const auto it = position_of_.find(id);
    if (it == position_of_.end()) return std::optional<VectorRecord>{};
    return std::optional<VectorRecord>{record_at(it->second)};
}

}  // namespace vantorel::vectordb
