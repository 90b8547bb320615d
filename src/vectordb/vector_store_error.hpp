#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace vantorel::vectordb {

// A duration as a store reports it: whole seconds and the nanoseconds below one second.
struct Duration {
    std::uint64_t seconds = 0;
    std::uint32_t nanos = 0;
};

// The one error of the vector-store layer. The alternatives keep this order;
// `message()` is the text users see.
namespace store_error {
struct ConnectionFailed {
    std::string detail;
};
struct CollectionNotFound {
    std::string name;
};
struct DimensionMismatch {
    std::uint64_t expected = 0;
    std::uint64_t got = 0;
};
struct RecordNotFound {
    std::string id;
};
struct Backend {
    std::string detail;
};
struct Serialization {
    std::string detail;
};
struct InvalidConfig {
    std::string detail;
};
struct PipelineNotBuilt {};
struct InsufficientData {
    std::string detail;
};
struct RateLimited {
    std::optional<Duration> retry_after;
};
struct ResponseTooLarge {
    std::uint64_t size = 0;
    std::uint64_t cap = 0;
};
}  // namespace store_error

struct VectorStoreError {
    using Kind = std::variant<store_error::ConnectionFailed, store_error::CollectionNotFound,
                              store_error::DimensionMismatch, store_error::RecordNotFound, store_error::Backend,
                              store_error::Serialization, store_error::InvalidConfig, store_error::PipelineNotBuilt,
                              store_error::InsufficientData, store_error::RateLimited, store_error::ResponseTooLarge>;

    Kind kind;

    [[nodiscard]] std::string message() const;
};

}  // namespace vantorel::vectordb
