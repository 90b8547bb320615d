#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "embed/projection/batch_projection.hpp"
#include "embed/projection/pca_projection.hpp"
#include "embed/projection/random_projection.hpp"

namespace vantorel::embed {
namespace {

void expect_same(const core::SphericalPoint& a, const core::SphericalPoint& b) {
    EXPECT_EQ(a.r, b.r);
    EXPECT_EQ(a.theta, b.theta);
    EXPECT_EQ(a.phi, b.phi);
}

// Several parallel blocks of rows, the last one short.
Corpus rows_of(std::size_t n, std::size_t dim) {
    std::vector<double> values(n * dim);
    std::uint64_t state = 7;
    for (double& v : values) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        v = static_cast<double>(state >> 11) * 0x1p-53 - 0.5;
    }
    return Corpus::uniform(std::move(values), n, dim);
}

template <class P>
void expect_batches_equal_single_rows(const P& projection, const Corpus& rows) {
    const auto points = project_batch(projection, rows);
    const auto rich = project_rich_batch(projection, rows);
    ASSERT_EQ(points.size(), rows.size());
    ASSERT_EQ(rich.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        expect_same(points[i], projection.project(rows[i]));
        const ProjectedPoint one = projection.project_rich(rows[i]);
        expect_same(rich[i].position, one.position);
        EXPECT_EQ(rich[i].certainty, one.certainty);
        EXPECT_EQ(rich[i].intensity, one.intensity);
        EXPECT_EQ(rich[i].projection_magnitude, one.projection_magnitude);
    }
}

TEST(BatchProjection, EqualsOneCallPerRowInRowOrder) {
    const Corpus rows = rows_of(1000, 6);
    expect_batches_equal_single_rows(PcaProjection::fit(rows, RadialStrategy::magnitude()).value(), rows);
    expect_batches_equal_single_rows(RandomProjection::make(6, RadialStrategy::fixed(2.0), 42), rows);
    EXPECT_TRUE(project_batch(RandomProjection::make(6, RadialStrategy::magnitude(), 1), Corpus{}).empty());
}

}  // namespace
}  // namespace vantorel::embed
