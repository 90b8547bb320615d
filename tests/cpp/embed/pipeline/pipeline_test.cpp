#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <oneapi/tbb/global_control.h>

#include "embed/category/category_fixture.hpp"
#include "core/distance.hpp"
#include "embed/pipeline/pipeline.hpp"

namespace vantorel::embed {
namespace {

using testing::clustered;
using testing::quick_config;

VantorelPipeline build(std::size_t categories, std::size_t per_category, std::size_t dim, std::uint64_t seed,
                       PipelineConfig config = quick_config()) {
    auto corpus = clustered(categories, per_category, dim, 0.4, seed);
    return VantorelPipeline::make_with_config(corpus.labels, corpus.embeddings, config).value();
}

TEST(PipelineBuild, ErrorsComeInOrder) {
    const Corpus two = Corpus::uniform({1, 0, 0, 0, 1, 0}, 2, 3);
    auto few = VantorelPipeline::make({"a", "b"}, two);
    ASSERT_FALSE(few.has_value());
    EXPECT_EQ(few.error().message(), "need at least 3 embeddings, got 2");

    const Corpus three = Corpus::uniform({1, 0, 0, 0, 1, 0, 0, 0, 1}, 3, 3);
    auto mismatch = VantorelPipeline::make({"a", "b"}, three);
    ASSERT_FALSE(mismatch.has_value());
    EXPECT_EQ(mismatch.error().message(), "categories length (2) must equal embeddings length (3)");

    // The fit runs first: its error wins over the length mismatch.
    PipelineConfig laplacian;
    laplacian.projection_kind = ProjectionKind::LaplacianEigenmap;
    auto fit = VantorelPipeline::make_with_config({"a"}, three, laplacian);
    ASSERT_FALSE(fit.has_value());
    EXPECT_EQ(fit.error().message(), "projection fit failed: need at least 4 embeddings, got 3");
    // The Laplacian fit takes ragged rows; the build reports them as the PCA fit does.
    const Corpus ragged = Corpus::from_rows({{1, 0, 0}, {1, 2}, {1, 0, 0}, {0, 1, 1}});
    auto rows = VantorelPipeline::make_with_config({"a", "b", "c", "d"}, ragged, laplacian);
    ASSERT_FALSE(rows.has_value());
    EXPECT_EQ(rows.error().message(), "projection fit failed: embedding 1 has dimension 2, expected 3");

    EXPECT_TRUE(VantorelPipeline::make({"a", "b", "c"}, three).has_value());
}

TEST(PipelineBuild, IdsCategoriesAndLookups) {
    EXPECT_EQ(item_id(7), "s-0007");
    EXPECT_EQ(item_id(9999), "s-9999");
    EXPECT_EQ(item_id(12345), "s-12345");

    const VantorelPipeline p = build(3, 5, 6, 11);
    ASSERT_EQ(p.ids().size(), 15u);
    EXPECT_EQ(p.ids()[14], "s-0014");
    EXPECT_EQ(p.unique_categories(), (std::vector<std::string>{"c0", "c1", "c2"}));
    EXPECT_EQ(p.cat_for("s-0003"), "c0");
    EXPECT_EQ(p.cat_for("s-+4"), "c1");
    for (const char* bad : {"s-", "s--3", "x-0001", "s-15", "s-3 ", "s-18446744073709551616", "s-+"}) {
        EXPECT_EQ(p.cat_for(bad), "unknown") << bad;
    }
}

TEST(PipelineBuild, ProjectionWarningsGradeTheRatio) {
    EXPECT_FALSE(grade_projection(0.35).has_value());
    const auto info = grade_projection(0.3);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->severity, WarningSeverity::Info);
    EXPECT_EQ(info->message, "EVR=30.0% — below recommended 35%. Results usable with caution.");
    EXPECT_EQ(grade_projection(0.25)->severity, WarningSeverity::Info);
    EXPECT_EQ(grade_projection(0.15)->severity, WarningSeverity::Warning);
    EXPECT_EQ(grade_projection(0.149)->severity, WarningSeverity::Critical);
    EXPECT_EQ(grade_projection(0.1)->message,
              "EVR=10.0% — projection captures very little variance. Category routing and bridges are unreliable. "
              "Use inner spheres.");
}

TEST(PipelineExport, CsvAndJsonForms) {
    const Corpus three = Corpus::uniform({1, 0, 0, 0, 1, 0, 0, 0, 1}, 3, 3);
    const auto p = VantorelPipeline::make({"a\"b", "plain", "x,y"}, three).value();
    const std::string csv = p.to_csv();
    EXPECT_EQ(csv.substr(0, csv.find('\n')), "id,category,r,theta,phi,x,y,z,certainty,intensity");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);
    EXPECT_NE(csv.find("\n\"s-0000\",\"a\"\"b\","), std::string::npos);
    EXPECT_NE(csv.find("\n\"s-0002\",\"x,y\","), std::string::npos);
    const std::string json = p.to_json();
    EXPECT_EQ(json.find(' '), std::string::npos);
    EXPECT_EQ(json.rfind("[{\"id\":\"s-0000\",\"category\":\"a\\\"b\",\"r\":", 0), 0u);
    const auto points = p.exported_points();
    ASSERT_EQ(points.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(points[i].x, p.points()[i].x);
        EXPECT_EQ(points[i].id, p.ids()[i]);
    }
}

TEST(PipelineQuery, ErrorsNameTheFirstUnknown) {
    const VantorelPipeline p = build(3, 6, 5, 12);
    const std::vector<double> zero(5, 0.0);
    auto path = p.query(query::ConceptPath{"nope", "also", 10}, zero);
    ASSERT_FALSE(path.has_value());
    EXPECT_EQ(path.error().message(), "unknown id: nope");
    auto target = p.query(query::ConceptPath{"s-0000", "also", 10}, zero);
    EXPECT_EQ(target.error().message(), "unknown id: also");
    auto cats = p.query(query::CategoryConceptPath{"x", "y"}, zero);
    EXPECT_EQ(cats.error().message(), "unknown category: x");
    EXPECT_EQ(p.query(query::DrillDown{"c9", 3}, zero).error().message(), "unknown category: c9");
    auto globs = p.query(query::DetectGlobs{3, 1}, zero);
    EXPECT_EQ(globs.error().message(), "max_k must be >= 2 when k is given");
}

TEST(PipelineQuery, NearestAndSimilarAgreeWithBruteForce) {
    const VantorelPipeline p = build(4, 40, 6, 13);
    auto corpus = clustered(1, 3, 6, 0.4, 99);
    const std::span<const double> q = corpus.embeddings[0];
    const auto point = p.projection().project(q);

    auto out = p.query(query::Nearest{7}, q);
    const auto& hits = std::get<output::Nearest>(out.value()).hits;
    ASSERT_EQ(hits.size(), 7u);
    std::vector<std::pair<double, std::string>> brute;
    for (const auto& e : p.exported_points()) {
        brute.emplace_back(core::angular_distance(point, {e.r, e.theta, e.phi}), e.id);
    }
    std::stable_sort(brute.begin(), brute.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < hits.size(); ++i) {
        EXPECT_EQ(hits[i].id, brute[i].second);
        EXPECT_EQ(hits[i].category, p.cat_for(hits[i].id));
    }
    EXPECT_TRUE(std::get<output::Nearest>(p.query(query::Nearest{0}, q).value()).hits.empty());
    const auto all = std::get<output::Nearest>(p.query(query::Nearest{~std::uint64_t{0}}, q).value()).hits;
    EXPECT_EQ(all.size(), 160u);

    const auto similar = std::get<output::SimilarAbove>(p.query(query::SimilarAbove{-2.0}, q).value()).hits;
    EXPECT_EQ(similar.size(), 160u);
    const auto none = std::get<output::SimilarAbove>(p.query(query::SimilarAbove{1.5}, q).value()).hits;
    for (const auto& h : none) EXPECT_EQ(h.distance, 0.0);
}

TEST(PipelineQuery, GlobSummariesAndHierarchicalRouting) {
    const VantorelPipeline p = build(4, 30, 6, 14);
    const std::vector<double> zero(6, 0.0);
    const auto globs = std::get<output::Globs>(p.query(query::DetectGlobs{4, 10}, zero).value()).globs;
    std::uint64_t members = 0;
    for (const auto& g : globs) {
        members += g.member_count;
        ASSERT_LE(g.top_categories.size(), 3u);
        for (std::size_t i = 1; i < g.top_categories.size(); ++i) {
            EXPECT_GE(g.top_categories[i - 1].second, g.top_categories[i].second);
        }
    }
    EXPECT_EQ(members, 120u);

    // A healthy projection answers the routed search with the flat one.
    auto q = clustered(1, 1, 6, 0.4, 7).embeddings;
    PipelineConfig never_routes = quick_config();
    never_routes.routing.low_evr_threshold = -1.0;
    auto corpus = clustered(4, 30, 6, 0.4, 14);
    const auto flat = VantorelPipeline::make_with_config(corpus.labels, corpus.embeddings, never_routes).value();
    const auto routed = flat.hierarchical_nearest(q[0], 6);
    const auto direct = std::get<output::Nearest>(flat.query(query::Nearest{6}, q[0]).value()).hits;
    ASSERT_EQ(routed.size(), direct.size());
    for (std::size_t i = 0; i < routed.size(); ++i) EXPECT_EQ(routed[i].id, direct[i].id);

    PipelineConfig always_routes = quick_config();
    always_routes.routing.low_evr_threshold = 2.0;
    const auto weak = VantorelPipeline::make_with_config(corpus.labels, corpus.embeddings, always_routes).value();
    const auto via_group = weak.hierarchical_nearest(q[0], 6);
    ASSERT_LE(via_group.size(), 6u);
    for (std::size_t i = 1; i < via_group.size(); ++i) EXPECT_LE(via_group[i - 1].distance, via_group[i].distance);
    EXPECT_TRUE(weak.hierarchical_nearest(q[0], 0).empty() || weak.domain_groups().empty());
}

TEST(PipelineQuery, ConcurrentQueriesMatchSequentialAnswers) {
#if defined(__SANITIZE_THREAD__)
    // The thread pool's own hand-offs are invisible to ThreadSanitizer unless
    // the pool library is instrumented too; keep its work on the calling
    // threads so the check covers the pipeline's own sharing.
    tbb::global_control serial(tbb::global_control::max_allowed_parallelism, 1);
#endif
    const VantorelPipeline p = build(5, 40, 8, 15);
    const std::vector<double> zero(8, 0.0);
    const auto expected_path = std::get<output::ConceptPath>(p.query(query::ConceptPath{"s-0000", "s-0199", 4}, zero).value());
    const auto probe = clustered(1, 1, 8, 0.4, 3).embeddings;
    const auto expected_near = std::get<output::Nearest>(p.query(query::Nearest{9}, probe[0]).value());
    std::vector<std::thread> threads;
    std::atomic<int> mismatches{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 5; ++round) {
                const std::uint64_t k = 3 + static_cast<std::uint64_t>((t + round) % 3);
                const auto path = std::get<output::ConceptPath>(p.query(query::ConceptPath{"s-0000", "s-0199", k}, zero).value());
                if (k == 4 && (path.path.has_value() != expected_path.path.has_value() ||
                               (path.path && path.path->total_distance != expected_path.path->total_distance))) {
                    ++mismatches;
                }
                const auto near = std::get<output::Nearest>(p.query(query::Nearest{9}, probe[0]).value());
                for (std::size_t i = 0; i < near.hits.size(); ++i) {
                    if (near.hits[i].id != expected_near.hits[i].id) ++mismatches;
                }
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace vantorel::embed
