#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <oneapi/tbb/global_control.h>

#include "core/distance.hpp"
#include "core/numeric.hpp"
#include "embed/tuning/corpus_features.hpp"
#include "embed/tuning/pairwise_similarity.hpp"
#include "stop_text.hpp"

namespace vantorel::embed {
namespace {

struct Labelled {
    std::vector<std::string> labels;
    Corpus rows;
};

// Components drawn from a small grid around the threshold, so exact ±0.05,
// zeros and ties all occur; some rows are all zero.
Labelled random_corpus(std::size_t n, std::size_t dim, std::size_t categories, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> step(-8, 8);
    std::uniform_int_distribution<std::size_t> label(0, categories - 1);
    Labelled out;
    std::vector<double> values(n * dim);
    for (std::size_t i = 0; i < n; ++i) {
        out.labels.push_back("c" + std::to_string(label(gen)));
        if (i % 17 == 3) continue;
        for (std::size_t j = 0; j < dim; ++j) values[i * dim + j] = 0.025 * step(gen) + (j % 3 == 0 ? 0.3 : 0.0);
    }
    out.rows = Corpus::uniform(std::move(values), n, dim);
    return out;
}

// The profile computed the plain way: a full sort per item, two separate pair
// walks in pair order, labels counted in an ordered map.
CorpusFeatures transcription(const std::vector<std::string>& labels, const Corpus& rows, double t) {
    const std::size_t n = rows.size();
    const std::size_t d = rows[0].size();
    std::map<std::string, std::size_t> counts;
    for (const auto& l : labels) ++counts[l];
    const std::size_t k = counts.size();
    double size_h = 0.0;
    for (const auto& [_, c] : counts) {
        const double p = static_cast<double>(c) / static_cast<double>(n);
        size_h -= p * std::log(p);
    }
    std::vector<double> axis(d, 0.0);
    double active = 0.0;
    double median_sum = 0.0;
    double medians = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        std::vector<double> inactive;
        for (std::size_t j = 0; j < d; ++j) {
            if (std::abs(rows[i][j]) > t) {
                axis[j] += 1.0;
                active += 1.0;
            } else {
                inactive.push_back(std::abs(rows[i][j]));
            }
        }
        if (inactive.empty()) continue;
        std::stable_sort(inactive.begin(), inactive.end(), core::total_order_less);
        median_sum += inactive[inactive.size() / 2];
        medians += 1.0;
    }
    double axis_h = 0.0;
    for (const double c : axis) {
        if (c > 0.0) axis_h -= (c / active) * std::log(c / active);
    }
    const auto mean_pairs = [&](bool across) {
        double sum = 0.0;
        double count = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = i + 1; j < n; ++j) {
                if ((labels[i] == labels[j]) == across) continue;
                sum += core::cosine_similarity(rows[i], rows[j]);
                count += 1.0;
            }
        }
        return count == 0.0 ? 0.0 : sum / count;
    };
    CorpusFeatures f;
    f.n_items = n;
    f.n_categories = k;
    f.dim = d;
    f.mean_members_per_category = static_cast<double>(n) / static_cast<double>(k);
    f.category_size_entropy = k < 2 ? 0.0 : size_h / std::log(static_cast<double>(k));
    f.mean_sparsity = active / static_cast<double>(n * d);
    f.axis_utilization_entropy = d == 1 || active == 0.0 ? 0.0 : axis_h / std::log(static_cast<double>(d));
    f.noise_estimate = medians == 0.0 ? 0.0 : median_sum / medians;
    f.mean_intra_category_similarity = mean_pairs(false);
    f.mean_inter_category_similarity = mean_pairs(true);
    f.category_separation_ratio =
        f.mean_intra_category_similarity / std::max(std::abs(f.mean_inter_category_similarity), 1e-12);
    return f;
}

CorpusFeatures extract(const Labelled& c, double threshold = 0.05) {
    return CorpusFeatures::extract_with_threshold(c.labels, c.rows, threshold).value();
}

// Equal up to the last bits that summation order may change.
void expect_close(const CorpusFeatures& got, const CorpusFeatures& want) {
    EXPECT_EQ(got.n_items, want.n_items);
    EXPECT_EQ(got.n_categories, want.n_categories);
    EXPECT_EQ(got.dim, want.dim);
    EXPECT_EQ(got.mean_members_per_category, want.mean_members_per_category);
    EXPECT_EQ(got.mean_sparsity, want.mean_sparsity);
    EXPECT_EQ(got.noise_estimate, want.noise_estimate);
    const auto near = [](double a, double b) { return std::abs(a - b) <= 1e-13 * std::max(1.0, std::abs(b)); };
    EXPECT_PRED2(near, got.category_size_entropy, want.category_size_entropy);
    EXPECT_PRED2(near, got.axis_utilization_entropy, want.axis_utilization_entropy);
    EXPECT_PRED2(near, got.mean_intra_category_similarity, want.mean_intra_category_similarity);
    EXPECT_PRED2(near, got.mean_inter_category_similarity, want.mean_inter_category_similarity);
    EXPECT_PRED2(near, got.category_separation_ratio, want.category_separation_ratio);
}

TEST(CorpusFeaturesExtract, MatchesTranscriptionOnRandomCorpora) {
    for (const auto [n, dim, categories] : {std::array<std::size_t, 3>{1, 3, 1}, {7, 1, 2}, {40, 6, 1},
                                            {120, 9, 40}, {255, 13, 5}, {256, 13, 5}, {261, 20, 7}}) {
        SCOPED_TRACE(::testing::Message() << "n=" << n << " d=" << dim);
        const auto c = random_corpus(n, dim, categories, static_cast<unsigned>(n * 31 + dim));
        expect_close(extract(c), transcription(c.labels, c.rows, 0.05));
        expect_close(extract(c, 0.2), transcription(c.labels, c.rows, 0.2));
        if (n <= 255) {
            // Summed one pair at a time in pair order: exactly the plain walk.
            const auto want = transcription(c.labels, c.rows, 0.05);
            EXPECT_EQ(pairwise_similarity(c.rows, c.labels, false), want.mean_intra_category_similarity);
            EXPECT_EQ(pairwise_similarity(c.rows, c.labels, true), want.mean_inter_category_similarity);
        }
    }
    // Rows whose squared norms overflow still have their cosines in the blocked walk.
    auto huge = random_corpus(256, 13, 5, 9);
    std::vector<double> scaled;
    for (std::size_t i = 0; i < huge.rows.size(); ++i) {
        for (const double x : huge.rows[i]) scaled.push_back(x * 1e200);
    }
    huge.rows = Corpus::uniform(std::move(scaled), 256, 13);
    expect_close(extract(huge), transcription(huge.labels, huge.rows, 0.05));
}

TEST(CorpusFeaturesExtract, BlockedPairsDoNotDependOnThreadCount) {
    const auto c = random_corpus(700, 37, 6, 5);
    const auto numbers = CategoryNumbers::of(c.labels);
    const auto many = pair_similarity_means(c.rows, numbers);
    const tbb::global_control one(tbb::global_control::max_allowed_parallelism, 1);
    const auto single = pair_similarity_means(c.rows, numbers);
    EXPECT_EQ(many.intra, single.intra);
    EXPECT_EQ(many.inter, single.inter);
}

TEST(CorpusFeaturesExtract, WorkedCases) {
    const auto make = [](std::vector<std::string> labels, std::vector<std::vector<double>> rows) {
        return CorpusFeatures::extract(labels, Corpus::from_rows(rows)).value();
    };
    // Median of 0.01..0.04 is the upper middle 0.03; 0.05 itself is inactive.
    const auto one = make({"a"}, {{0.01, 0.02, 0.03, 0.04, 0.05, 0.5}});
    EXPECT_EQ(one.noise_estimate, 0.03);
    EXPECT_EQ(one.mean_sparsity, 1.0 / 6.0);
    EXPECT_EQ(one.mean_members_per_category, 1.0);
    EXPECT_EQ(one.category_size_entropy, 0.0);
    EXPECT_EQ(one.category_separation_ratio, 0.0);

    // All in one category: inter has no pair, so the ratio divides by 1e-12.
    const auto same = make({"a", "a"}, {{1.0, 0.0}, {1.0, 1.0}});
    EXPECT_EQ(same.mean_inter_category_similarity, 0.0);
    EXPECT_EQ(same.category_separation_ratio, same.mean_intra_category_similarity / 1e-12);
    EXPECT_EQ(same.noise_estimate, 0.0);  // the one inactive component is 0.0

    const auto sizes = make({"x", "y", "x", "z"}, {{0.0}, {0.0}, {0.0}, {0.0}});
    EXPECT_DOUBLE_EQ(sizes.category_size_entropy, 1.5 * std::log(2.0) / std::log(3.0));
    EXPECT_EQ(sizes.mean_sparsity, 0.0);
    EXPECT_EQ(sizes.axis_utilization_entropy, 0.0);
    EXPECT_EQ(sizes.mean_intra_category_similarity, 0.0);
    EXPECT_EQ(make({"p", "q"}, {{1.0, 1.0}, {1.0, 1.0}}).category_size_entropy, 1.0);
}

TEST(CorpusFeaturesExtract, BadCorporaAreRefused) {
    const auto error = [](std::vector<std::string> labels, std::vector<std::vector<double>> rows) {
        return CorpusFeatures::extract(labels, Corpus::from_rows(rows)).error().message();
    };
    EXPECT_EQ(error({}, {}), "cannot extract features from an empty corpus");
    EXPECT_EQ(error({"a", "b"}, {{}, {}}), "embeddings must have positive dimensionality");
    EXPECT_EQ(error({"a", "b", "c"}, {{1.0, 2.0}, {1.0, 2.0}, {1.0}}), "embedding 2 has dimension 1, expected 2");
    EXPECT_EQ(testing::stop_text([] { (void)CorpusFeatures::extract({"a", "b"}, Corpus::from_rows({{1.0}})); }),
              "assertion `left == right` failed: categories and embeddings must have matching length\n"
              "  left: 2\n right: 1");
    EXPECT_EQ(testing::stop_text([] { (void)pairwise_similarity(Corpus::from_rows({{1.0}, {1.0, 2.0}}), {"a", "a"}, false); }),
              "assertion `left == right` failed: vectors must have equal length for cosine similarity\n"
              "  left: 1\n right: 2");
}

TEST(CorpusFeaturesJson, RoundTripAndForms) {
    CorpusFeatures f{3, 2, 4, 1.5, 1.0, 0.25, 0.5, 0.02, 0.75, -0.125, 6.0};
    const std::string text =
        R"({"n_items":3,"n_categories":2,"dim":4,"mean_members_per_category":1.5,"category_size_entropy":1.0,)"
        R"("mean_sparsity":0.25,"axis_utilization_entropy":0.5,"noise_estimate":0.02,)"
        R"("mean_intra_category_similarity":0.75,"mean_inter_category_similarity":-0.125,)"
        R"("category_separation_ratio":6.0})";
    EXPECT_EQ(f.to_json(), text);
    EXPECT_EQ(CorpusFeatures::from_json(text).value(), f);
    EXPECT_EQ(CorpusFeatures::from_json("[3,2,4,1.5,1,0.25,0.5,0.02,0.75,-0.125,6]").value(), f);
    EXPECT_EQ(CorpusFeatures::from_json(R"({"extra":[null],)" + text.substr(1)).value(), f);
}

TEST(CorpusFeaturesJson, ReaderMessages) {
    const auto error = [](std::string_view text) {
        const auto r = CorpusFeatures::from_json(text);
        return r ? std::string("ok") : r.error().description;
    };
    const std::string all = R"("n_items":3,"n_categories":2,"dim":4,"mean_members_per_category":1.5,)"
                            R"("category_size_entropy":1,"mean_sparsity":0,"axis_utilization_entropy":0,)"
                            R"("noise_estimate":0,"mean_intra_category_similarity":0,)"
                            R"("mean_inter_category_similarity":0,"category_separation_ratio":0)";
    std::string no_dim = all;
    no_dim.erase(no_dim.find(R"("dim":4,)"), 8);
    EXPECT_EQ(error("{" + no_dim + "}"), "missing field `dim`");
    EXPECT_EQ(error("{" + all + R"(,"dim":4})"), "duplicate field `dim`");
    EXPECT_EQ(error("[3,2,4]"), "invalid length 3, expected struct CorpusFeatures with 11 elements");
    EXPECT_EQ(error("[3,2,4,0,0,0,0,0,0,0,0,0]"), "trailing characters");
    EXPECT_EQ(error("7"), "invalid type: integer `7`, expected struct CorpusFeatures");
    EXPECT_EQ(error(R"({"n_items":3.0})"), "invalid type: floating point `3.0`, expected u64");
    EXPECT_EQ(error(R"({"n_items":1e2})"), "invalid type: floating point `100.0`, expected u64");
    EXPECT_EQ(error(R"({"n_items":-1})"), "invalid value: integer `-1`, expected u64");
    EXPECT_EQ(error(R"({"noise_estimate":null})"), "invalid type: null, expected f64");
}

}  // namespace
}  // namespace vantorel::embed
