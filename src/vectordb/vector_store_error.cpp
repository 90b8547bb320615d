#include "vectordb/vector_store_error.hpp"

#include <type_traits>

#include "core/format.hpp"

namespace vantorel::vectordb {
namespace {

__extension__ using Wide = unsigned __int128;

// Seconds × 1000 plus the whole milliseconds of the nanoseconds, in 128 bits
// so that no count of seconds overflows.
std::string whole_millis(const Duration& d) {
    Wide millis = static_cast<Wide>(d.seconds) * 1000u + d.nanos / 1'000'000u;
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(millis % 10u)));
        millis /= 10u;
    } while (millis != 0);
    return digits;
}

}  // namespace

std::string VectorStoreError::message() const {
    using namespace store_error;
    return std::visit(
        [](const auto& e) -> std::string {
            using E = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<E, ConnectionFailed>) {
                return "connection failed: " + e.detail;
            } else if constexpr (std::is_same_v<E, CollectionNotFound>) {
                return "collection not found: " + e.name;
            } else if constexpr (std::is_same_v<E, DimensionMismatch>) {
                return core::format("dimension mismatch: expected {}, got {}", e.expected, e.got);
            } else if constexpr (std::is_same_v<E, RecordNotFound>) {
                return "record not found: " + e.id;
            } else if constexpr (std::is_same_v<E, Backend>) {
                return "backend error: " + e.detail;
            } else if constexpr (std::is_same_v<E, Serialization>) {
                return "serialization error: " + e.detail;
            } else if constexpr (std::is_same_v<E, InvalidConfig>) {
                return "invalid configuration: " + e.detail;
            } else if constexpr (std::is_same_v<E, PipelineNotBuilt>) {
                return "pipeline not built \u2014 call build_pipeline() first";
            } else if constexpr (std::is_same_v<E, InsufficientData>) {
                return "insufficient data: " + e.detail;
            } else if constexpr (std::is_same_v<E, RateLimited>) {
                std::string out = "rate limited by backend";
                if (e.retry_after) out += " (retry after " + whole_millis(*e.retry_after) + "ms)";
                return out;
            } else {
                static_assert(std::is_same_v<E, ResponseTooLarge>);
                return core::format("response size {} exceeds cap of {} bytes", e.size, e.cap);
            }
        },
        kind);
}

}  // namespace vantorel::vectordb
