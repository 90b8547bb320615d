#include <gtest/gtest.h>

#include <limits>

#include "vectordb/vector_store_error.hpp"

namespace vantorel::vectordb {
namespace {

std::string text(VectorStoreError::Kind kind) { return VectorStoreError{std::move(kind)}.message(); }

TEST(VectorStoreError, DisplayTexts) {
    using namespace store_error;
    EXPECT_EQ(text(ConnectionFailed{"refused"}), "connection failed: refused");
    EXPECT_EQ(text(CollectionNotFound{"docs"}), "collection not found: docs");
    EXPECT_EQ(text(DimensionMismatch{4, 3}), "dimension mismatch: expected 4, got 3");
    EXPECT_EQ(text(RecordNotFound{"r-1"}), "record not found: r-1");
    EXPECT_EQ(text(Backend{"boom"}), "backend error: boom");
    EXPECT_EQ(text(Serialization{"bad"}), "serialization error: bad");
    EXPECT_EQ(text(InvalidConfig{""}), "invalid configuration: ");
    EXPECT_EQ(text(PipelineNotBuilt{}), "pipeline not built \xE2\x80\x94 call build_pipeline() first");
    EXPECT_EQ(text(InsufficientData{"need more"}), "insufficient data: need more");
    EXPECT_EQ(text(ResponseTooLarge{2048, 1024}), "response size 2048 exceeds cap of 1024 bytes");
}

TEST(VectorStoreError, RetryAfterInWholeMilliseconds) {
    using store_error::RateLimited;
    EXPECT_EQ(text(RateLimited{}), "rate limited by backend");
    EXPECT_EQ(text(RateLimited{Duration{1, 500'000'000}}), "rate limited by backend (retry after 1500ms)");
    EXPECT_EQ(text(RateLimited{Duration{0, 999'999}}), "rate limited by backend (retry after 0ms)");
    EXPECT_EQ(text(RateLimited{Duration{2, 7'000'000}}), "rate limited by backend (retry after 2007ms)");
    EXPECT_EQ(text(RateLimited{Duration{std::numeric_limits<std::uint64_t>::max(), 999'999'999}}),
              "rate limited by backend (retry after 18446744073709551615999ms)");
}

}  // namespace
}  // namespace vantorel::vectordb
