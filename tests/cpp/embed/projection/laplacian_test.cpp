#include <gtest/gtest.h>
#include <oneapi/tbb/global_control.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "embed/projection/laplacian.hpp"

namespace vantorel::embed {
namespace {

LaplacianEigenmapProjection fit(const Corpus& corpus, std::size_t k, double threshold) {
    auto fitted = LaplacianEigenmapProjection::fit_with_params(corpus, k, RadialStrategy::magnitude(), threshold);
    if (!fitted) ADD_FAILURE() << fitted.error().message();
    return std::move(fitted).value();
}

// Rows with 1.0 at the given coordinates, 0.0 elsewhere; threshold 0.5 makes
// exactly those coordinates active.
Corpus indicator_rows(const std::vector<std::vector<std::size_t>>& sets, std::size_t dim) {
    Corpus corpus;
    for (const auto& set : sets) {
        std::vector<double> row(dim, 0.0);
        for (const std::size_t i : set) row[i] = 1.0;
        corpus.push_row(row);
    }
    return corpus;
}

// Random rows where each coordinate is active with probability `density`.
Corpus random_rows(std::size_t n, std::size_t dim, double density, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Corpus corpus;
    std::vector<double> row(dim);
    for (std::size_t i = 0; i < n; ++i) {
        for (double& x : row) x = unit(rng) < density ? 0.1 + unit(rng) : 0.01 * unit(rng);
        corpus.push_row(row);
    }
    return corpus;
}

TEST(Jaccard, MatchesSetIntersectionOnRandomLists) {
    EXPECT_EQ(jaccard({}, {}), 0.0);
    // Random lists of every length around the merge's block size of four.
    std::mt19937_64 rng(11);
    for (int trial = 0; trial < 2000; ++trial) {
        const std::uint64_t keep_a = rng() % 100;
        const std::uint64_t keep_b = rng() % 100;
        std::vector<ActiveIndex> x;
        std::vector<ActiveIndex> y;
        for (ActiveIndex i = 0, end = 1 + static_cast<ActiveIndex>(rng() % 60); i < end; ++i) {
            if (rng() % 100 < keep_a) x.push_back(i);
            if (rng() % 100 < keep_b) y.push_back(i);
        }
        std::vector<ActiveIndex> common;
        std::set_intersection(x.begin(), x.end(), y.begin(), y.end(), std::back_inserter(common));
        const std::size_t all = x.size() + y.size() - common.size();
        const double expected = all == 0 ? 0.0 : static_cast<double>(common.size()) / static_cast<double>(all);
        ASSERT_EQ(jaccard(x, y), expected) << "trial " << trial;
        ASSERT_EQ(jaccard(y, x), expected) << "trial " << trial;
    }
}

// Twelve rows, k = 3, threshold 0.05. The expected values come from building
// the same graph densely in numpy and diagonalising it with eigh.
const std::vector<std::vector<double>> kOracleRows = {
    {0, 0, 0, 0, -0.34, 0, 0, -0.45},           {0.41, 0.55, 0, 0, 0.75, 0, -0.05, 0.52},
    {0, -0.03, 0, -0.9, 0, -0.14, -0.22, 0},    {0, 0, -0.07, 0, 0.28, 0.56, 0, 0.13},
    {0, 0, 0, 0, -0.72, 0, 0, 0},               {-0.47, 0, 0, -0.26, 0, -0.39, 0, 0},
    {0.43, 0, -0.41, 0, -0.49, 0, -0.93, 0},    {0, -0.82, 0, 0, 0, 0, 0.23, 0},
    {-0.31, 0, 0.18, 0, 0.8, 0, 0, 0},          {-0.71, -0.49, 0, 0, 0, 0, 0.08, 0},
    {0.8, -0.04, -0.44, 0, -0.14, 0, 0, -0.11}, {0, 0, 0, 0, 0, -0.74, 0.06, 0},
};
const std::vector<double> kOracleDegrees = {2.0, 1.5, 1.4166666666666665, 1.5, 1.0833333333333333, 0.95,
                                            1.75, 1.25, 2.2333333333333334, 1.9166666666666665, 3.3, 1.5};
const std::array<double, 3> kOracleEigenvalues = {0.9018355217545565, -0.5918493415587159, -0.7324968221293952};
const std::array<std::vector<double>, 3> kOracleEigenvectors = {{
    {-0.24755765725968715, -0.11163221030189963, 0.45397195634376675, -0.2292337556952969, -0.19656521778969555,
     0.3532014929814625, -0.1354309188146995, 0.31522123898441273, -0.2506590500474901, 0.2173625850510451,
     -0.2984557719814785, 0.4328595161385504},
    {0.3653226995122664, -0.1069008870022542, -0.5190707451588632, -0.3042251640543951, -0.32032175733995316,
     0.3563485983991715, -0.10697639033739892, 0.24660355801412392, 0.26985266270573194, -0.24506143447606268,
     0.057925626529537526, 0.2346179394005656},
    {-0.3034736823379783, 0.3444588789266332, -0.2678401160166186, 0.27241833446430563, 0.25215304010748546,
     0.22283331344775556, 0.33739750559209414, 0.30498349074569014, -0.24949385339005853, -0.45481750148672767,
     -0.212900654128902, 0.09370725407044606},
}};
const std::vector<double> kOracleQuery = {0.4, 0, -0.3, 0.02, 0, 0.7, 0, 0};
const std::array<double, 3> kOracleQueryXyz = {0.06169593381043448, -0.06309381092038888, -0.10237115608068587};

TEST(LaplacianEigenmap, MatchesDenseEigendecomposition) {
    const auto p = fit(Corpus::from_rows(kOracleRows), 3, 0.05);

    ASSERT_EQ(p.degrees().size(), kOracleDegrees.size());
    for (std::size_t i = 0; i < kOracleDegrees.size(); ++i) EXPECT_NEAR(p.degrees()[i], kOracleDegrees[i], 1e-12);

    // Found as 0.90, -0.73, -0.59 by magnitude; stored by signed value. The
    // iteration stops when successive vectors agree to 1 - 1e-10 in cosine,
    // which leaves the vectors a few 1e-5 off and the eigenvalues far closer.
    std::array<double, 3> sign{};
    for (std::size_t c = 0; c < 3; ++c) {
        EXPECT_NEAR(p.eigenvalues()[c], kOracleEigenvalues[c], 1e-9);
        const auto& got = p.eigenvectors()[c];
        ASSERT_EQ(got.size(), kOracleEigenvectors[c].size());
        sign[c] = dot(got, kOracleEigenvectors[c]) < 0.0 ? -1.0 : 1.0;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_NEAR(got[i], sign[c] * kOracleEigenvectors[c][i], 1e-4) << "component " << c << " entry " << i;
        }
    }

    const auto xyz = p.project_to_3d(kOracleQuery);
    for (std::size_t c = 0; c < 3; ++c) EXPECT_NEAR(xyz[c], sign[c] * kOracleQueryXyz[c], 1e-4);
}

TEST(LaplacianEigenmap, EqualSimilaritiesDropTheLowerIndex) {
    // Vertex 0 is equally similar (1/4) to vertices 2 and 5; with k = 1 it keeps 5.
    // Vertices 2 and 5 prefer 3 and 4 (2/3), so {0, 2} is no edge; vertex 1 has none.
    const Corpus corpus = indicator_rows({{0, 1}, {6, 7}, {0, 2, 3}, {2, 3}, {4, 5}, {1, 4, 5}}, 8);
    const auto p = fit(corpus, 1, 0.5);
    const std::vector<double> expected = {0.25, 1e-6, 2.0 / 3.0, 2.0 / 3.0, 2.0 / 3.0, 0.25 + 2.0 / 3.0};
    EXPECT_EQ(p.degrees(), expected);
}

// Degrees from a plain reading of the graph: each vertex's candidates sorted by
// (similarity, index) descending, the first k kept, edges united over both ends.
std::vector<double> reference_degrees(const Corpus& corpus, std::size_t k, double threshold) {
    const std::size_t n = corpus.size();
    std::vector<std::vector<ActiveIndex>> sets;
    for (std::size_t i = 0; i < n; ++i) sets.push_back(active_set(corpus[i], threshold));
    std::map<std::pair<std::size_t, std::size_t>, double> edges;
    for (std::size_t i = 0; i < n; ++i) {
        std::vector<std::pair<double, std::size_t>> candidates;
        for (std::size_t j = 0; j < n; ++j) {
            const double s = j == i ? 0.0 : jaccard(sets[i], sets[j]);
            if (s > 0.0) candidates.emplace_back(s, j);
        }
        std::sort(candidates.rbegin(), candidates.rend());
        candidates.resize(std::min(candidates.size(), k));
        for (const auto& [s, j] : candidates) edges[{std::min(i, j), std::max(i, j)}] = s;
    }
    std::vector<double> degrees(n);
    for (std::size_t i = 0; i < n; ++i) {
        double sum = 0.0;
        for (std::size_t j = 0; j < n; ++j) {
            const auto edge = edges.find({std::min(i, j), std::max(i, j)});
            if (edge != edges.end()) sum += edge->second;
        }
        degrees[i] = std::fmax(sum, 1e-6);
    }
    return degrees;
}

TEST(LaplacianEigenmap, GraphMatchesPlainReadingAcrossManyBlocks) {
    // Sizes that split into an even and an odd number of pair blocks, with
    // sparse rows so that some vertices have fewer than k candidates or none.
    for (const std::size_t n : {100u, 200u}) {
        const Corpus corpus = random_rows(n, 40, 0.08, n);
        for (const std::size_t k : {1u, 4u}) {
            EXPECT_EQ(fit(corpus, k, 0.05).degrees(), reference_degrees(corpus, k, 0.05)) << n << " " << k;
        }
    }
}

TEST(LaplacianEigenmap, NeighbourCountIsClampedToOneAndNMinusOne) {
    const Corpus corpus = Corpus::from_rows(kOracleRows);
    const auto expect_same_fit = [&](std::size_t k, std::size_t clamped) {
        const auto a = fit(corpus, k, 0.05);
        const auto b = fit(corpus, clamped, 0.05);
        EXPECT_EQ(a.degrees(), b.degrees());
        EXPECT_EQ(a.eigenvalues(), b.eigenvalues());
        EXPECT_EQ(a.eigenvectors(), b.eigenvectors());
    };
    expect_same_fit(0, 1);
    expect_same_fit(std::numeric_limits<std::size_t>::max(), kOracleRows.size() - 1);
}

TEST(LaplacianEigenmap, FitErrorsInOrderWithTheirTexts) {
    const auto error_of = [](const Corpus& corpus) {
        auto fitted = LaplacianEigenmapProjection::fit_with_params(corpus, 15, RadialStrategy::magnitude(), 0.05);
        EXPECT_FALSE(fitted.has_value());
        return fitted ? ProjectionError::no_embeddings() : fitted.error();
    };
    EXPECT_EQ(error_of(Corpus{}).message(), "need at least 4 embeddings, got 0");
    // Too few rows is reported before an empty first row.
    EXPECT_EQ(error_of(Corpus::from_rows({{}, {1.0}, {1.0}})).message(), "need at least 4 embeddings, got 3");
    EXPECT_EQ(error_of(Corpus::from_rows({{}, {1.0}, {1.0}, {1.0}})).message(),
              "embedding dimension 0 is below the minimum 1 for this projection");

    // Ragged rows are accepted; the dimension is the first row's length.
    const auto ragged = fit(Corpus::from_rows({{0.9, 0.1, 0.8}, {0.7, 0, 0.6, 0.5, 0.4}, {0.9, 0.8}, {0, 0.3, 0.7, 0.9}}),
                            2, 0.05);
    EXPECT_EQ(ragged.dimension(), 3u);
}

TEST(LaplacianEigenmap, UnmatchedQueryLandsAtTheReferenceDirection) {
    const auto p = fit(indicator_rows({{0, 1}, {6, 7}, {0, 2, 3}, {2, 3}, {4, 5}, {1, 4, 5}}, 8), 2, 0.5);
    // No coordinate above the threshold; then active coordinates beyond every
    // training row (a longer query is accepted).
    const std::vector<std::vector<double>> queries = {{0.3, 0.4, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0, 3, 4}};
    for (const auto& query : queries) {
        const ProjectedPoint rich = p.project_rich(query);
        const core::SphericalPoint plain = p.project(query);
        const double norm = magnitude(query);
        EXPECT_EQ((std::array{rich.position.r, rich.position.theta, rich.position.phi}), (std::array{norm, 0.0, 0.0}));
        EXPECT_EQ((std::array{plain.r, plain.theta, plain.phi}), (std::array{norm, 0.0, 0.0}));
        EXPECT_EQ((std::array{rich.certainty, rich.intensity, rich.projection_magnitude}), (std::array{0.0, norm, 0.0}));
    }
}

TEST(LaplacianEigenmap, ResultDoesNotDependOnThreadCount) {
    // Large enough for many pair blocks and several mat-vec tasks.
    const Corpus corpus = random_rows(2600, 24, 0.3, 3);
    const auto fit_with_threads = [&](std::size_t threads) {
        const tbb::global_control limit(tbb::global_control::max_allowed_parallelism, threads);
        return fit(corpus, 10, 0.05);
    };
    const auto one = fit_with_threads(1);
    const auto many = fit_with_threads(8);
    EXPECT_EQ(one.degrees(), many.degrees());
    EXPECT_EQ(one.eigenvalues(), many.eigenvalues());
    EXPECT_EQ(one.eigenvectors(), many.eigenvectors());
}

}  // namespace
}  // namespace vantorel::embed
