#include <gtest/gtest.h>
#include <oneapi/tbb/global_control.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/conversions.hpp"
#include "embed/category/category_fixture.hpp"
#include "embed/navigator/run_full_analysis.hpp"
#include "stop_text.hpp"

namespace vantorel::embed::navigator {
namespace {

using core::CartesianPoint;
using core::SphericalPoint;

constexpr double kFourPi = 4.0 * M_PI;

struct Scene {
    testing::LabelledCorpus corpus;
    testing::BuiltLayer built;
};

Scene scene(std::size_t categories, std::size_t per_category, std::uint64_t seed) {
    testing::LabelledCorpus corpus = testing::clustered(categories, per_category, 6, 0.6, seed);
    testing::BuiltLayer built = testing::build_layer(corpus.labels, corpus.embeddings, testing::quick_config());
    return {std::move(corpus), std::move(built)};
}

NavigatorConfig small_config() {
    NavigatorConfig config;
    config.antipodal_radius = 1.2;
    config.coverage_samples = 30000;
    config.voronoi_samples = 30000;
    config.exclusivity_samples = 9000;
    return config;
}

NavigatorReport analyse(const Scene& s, const NavigatorConfig& config) {
    return run_full_analysis(s.built.layer, s.built.positions, s.corpus.labels, config, 0.75);
}

CartesianPoint unit(const SphericalPoint& p) { return core::unit_vector(p); }

double dot(const CartesianPoint& a, const CartesianPoint& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

double acos_angle(const CartesianPoint& a, const CartesianPoint& b) { return std::acos(std::clamp(dot(a, b), -1.0, 1.0)); }

// L'Huilier's theorem with the sides taken by arccosine.
double lhuilier(const CartesianPoint& a, const CartesianPoint& b, const CartesianPoint& c) {
    const double x = acos_angle(b, c);
    const double y = acos_angle(a, c);
    const double z = acos_angle(a, b);
    const double s = (x + y + z) / 2.0;
    const double p = std::tan(s / 2) * std::tan((s - x) / 2) * std::tan((s - y) / 2) * std::tan((s - z) / 2);
    return 4.0 * std::atan(std::sqrt(std::max(p, 0.0)));
}

TEST(Navigator, VoronoiCellsTileTheSphere) {
    const Scene s = scene(7, 12, 11);
    const NavigatorReport r = analyse(s, small_config());
    ASSERT_EQ(r.voronoi.cells.size(), 7u);
    double sum = 0.0;
    for (const VoronoiCellReport& cell : r.voronoi.cells) {
        sum += cell.cell_area;
        EXPECT_EQ(cell.item_count, 12u);
        EXPECT_DOUBLE_EQ(cell.territorial_efficiency, 12.0 / cell.cell_area);
        // The bridge graph links every pair, so the overlap is the neighbour share.
        EXPECT_DOUBLE_EQ(cell.graph_neighbor_overlap, static_cast<double>(cell.voronoi_neighbors.size()) / 6.0);
    }
    EXPECT_NEAR(sum, kFourPi, 1e-9);
    EXPECT_EQ(r.voronoi.total_area, sum);
    EXPECT_EQ(r.num_categories, 7u);
    EXPECT_EQ(r.num_items, 84u);
    EXPECT_EQ(r.explained_variance_ratio, 0.75);
}

TEST(Navigator, CurvatureRanksTrianglesByLhuilierExcess) {
    const Scene s = scene(8, 6, 5);
    const auto& summaries = s.built.layer.summaries();
    // Every triple, ranked by a stable sort as generated.
    struct Triple {
        std::size_t i, j, k;
        double excess;
    };
    std::vector<Triple> all;
    for (std::size_t i = 0; i < 8; ++i) {
        for (std::size_t j = i + 1; j < 8; ++j) {
            for (std::size_t k = j + 1; k < 8; ++k) {
                all.push_back({i, j, k,
                               lhuilier(unit(summaries[i].centroid), unit(summaries[j].centroid),
                                        unit(summaries[k].centroid))});
            }
        }
    }
    std::ranges::stable_sort(all, [](const Triple& a, const Triple& b) { return a.excess > b.excess; });

    for (const std::uint64_t top_n : {0u, 1u, 9u, 56u, 500u}) {
        NavigatorConfig config = small_config();
        config.curvature_top_n = top_n;
        const CurvatureReport c = analyse(s, config).curvature;
        ASSERT_EQ(c.top_triples.size(), std::min<std::size_t>(top_n, 56));
        for (std::size_t t = 0; t < c.top_triples.size(); ++t) {
            EXPECT_EQ(c.top_triples[t].categories[0], summaries[all[t].i].name);
            EXPECT_EQ(c.top_triples[t].categories[1], summaries[all[t].j].name);
            EXPECT_EQ(c.top_triples[t].categories[2], summaries[all[t].k].name);
            EXPECT_NEAR(c.top_triples[t].excess, all[t].excess, 1e-9);
        }
    }
    // Signatures: the excesses of the triangles through each vertex.
    const CurvatureReport c = analyse(s, small_config()).curvature;
    for (std::size_t v = 0; v < 8; ++v) {
        std::vector<double> through;
        for (const Triple& t : all) {
            if (t.i == v || t.j == v || t.k == v) through.push_back(t.excess);
        }
        double sum = 0.0;
        for (const double e : through) sum += e;
        EXPECT_NEAR(c.signatures[v].mean_excess, sum / 21.0, 1e-9);
        EXPECT_NEAR(c.signatures[v].max_excess, *std::ranges::max_element(through), 1e-9);
        EXPECT_NEAR(c.signatures[v].min_excess, *std::ranges::min_element(through), 1e-9);
    }
}

TEST(Navigator, AntipodalItemsMatchABruteForceScan) {
    const Scene s = scene(6, 15, 3);
    const NavigatorConfig config = small_config();
    const NavigatorReport r = analyse(s, config);
    const auto& positions = s.built.positions;
    std::size_t found = 0;
    for (std::size_t c = 0; c < 6; ++c) {
        const AntipodalReport& a = r.antipodal[c];
        const CartesianPoint opposite = unit(s.built.layer.summaries()[c].centroid);
        const CartesianPoint antipode{-opposite.x, -opposite.y, -opposite.z};
        EXPECT_NEAR(acos_angle(unit(a.antipode), antipode), 0.0, 1e-7);

        std::map<std::size_t, double> expected;
        std::map<std::string, std::size_t> counts;
        for (std::size_t j = 0; j < positions.size(); ++j) {
            const double d = acos_angle(antipode, unit(positions[j]));
            ASSERT_GT(std::fabs(d - config.antipodal_radius), 1e-9);  // no item on the rim
            if (d <= config.antipodal_radius) {
                expected[j] = d;
                ++counts[s.corpus.labels[j]];
            }
        }
        ASSERT_EQ(a.antipodal_items.size(), expected.size());
        for (std::size_t m = 0; m < a.antipodal_items.size(); ++m) {
            const AntipodalItem& item = a.antipodal_items[m];
            ASSERT_TRUE(expected.contains(item.index));
            EXPECT_NEAR(item.distance, expected[item.index], 1e-7);
            EXPECT_EQ(item.category, s.corpus.labels[item.index]);
            if (m > 0) {
                EXPECT_LE(a.antipodal_items[m - 1].distance, item.distance);
            }
        }
        const double share = (1.0 - std::cos(config.antipodal_radius)) / 2.0;
        EXPECT_NEAR(a.antipodal_coherence, static_cast<double>(expected.size()) / 90.0 / share, 1e-12);
        if (expected.empty()) {
            EXPECT_FALSE(a.dominant_antipodal_category.has_value());
        } else {
            std::size_t most = 0;
            for (const auto& [name, n] : counts) most = std::max(most, n);
            ASSERT_TRUE(a.dominant_antipodal_category.has_value());
            EXPECT_EQ(counts[*a.dominant_antipodal_category], most);
        }
        found += expected.size();
    }
    EXPECT_GT(found, 0u);
}

TEST(Navigator, LunesAndOverlapsFollowTheBridges) {
    const Scene s = scene(5, 14, 9);
    const NavigatorReport r = analyse(s, small_config());
    const CategoryLayer& layer = s.built.layer;
    const auto& summaries = layer.summaries();
    std::size_t next = 0;
    for (std::size_t i = 0; i < 5; ++i) {
        for (std::size_t j = i + 1; j < 5; ++j) {
            std::vector<std::size_t> items;
            for (const auto& b : layer.graph().bridges_between(i, j)) items.push_back(b.item_index);
            for (const auto& b : layer.graph().bridges_between(j, i)) items.push_back(b.item_index);
            if (items.empty()) continue;
            ASSERT_LT(next, r.lunes.size());
            const LuneReport& lune = r.lunes[next++];
            EXPECT_EQ(lune.category_a, summaries[i].name);
            EXPECT_EQ(lune.category_b, summaries[j].name);
            std::size_t a = 0;
            std::size_t b = 0;
            for (const std::size_t m : items) {
                const double da = acos_angle(unit(summaries[i].centroid), unit(s.built.positions[m]));
                const double db = acos_angle(unit(summaries[j].centroid), unit(s.built.positions[m]));
                ASSERT_GT(std::fabs(da - db), 1e-9);
                (da < db ? a : b) += 1;
            }
            EXPECT_EQ(lune.a_leaning_count, a);
            EXPECT_EQ(lune.b_leaning_count, b);
            EXPECT_EQ(lune.on_bisector_count, 0u);
            EXPECT_DOUBLE_EQ(lune.asymmetry, std::fabs(double(a) - double(b)) / double(items.size()));
        }
    }
    EXPECT_EQ(next, r.lunes.size());
    EXPECT_GT(next, 0u);

    EXPECT_FALSE(r.overlap.pairs.empty());
    for (const OverlapPair& pair : r.overlap.pairs) {
        const std::size_t i = *layer.index_of(pair.category_a);
        const std::size_t j = *layer.index_of(pair.category_b);
        const std::size_t bridges = layer.graph().bridges_between(i, j).size() + layer.graph().bridges_between(j, i).size();
        EXPECT_EQ(pair.bridge_count, bridges);
        EXPECT_EQ(pair.overlap_per_bridge, bridges == 0 ? INFINITY : pair.overlap_area / double(bridges));
    }
}

// Every field, floats in hexadecimal: equal texts mean equal reports to the bit.
std::string fingerprint(const NavigatorReport& r) {
    std::ostringstream out;
    out << std::hexfloat;
    const auto point = [&out](const SphericalPoint& p) { out << p.r << ' ' << p.theta << ' ' << p.phi << ';'; };
    for (const AntipodalReport& a : r.antipodal) {
        out << a.category_name << a.antipodal_coherence << a.dominant_antipodal_category.value_or("-");
        point(a.centroid);
        point(a.antipode);
        for (const AntipodalItem& item : a.antipodal_items) out << item.category << item.index << item.distance;
    }
    const KnowledgeCoverageReport& c = r.coverage;
    out << c.coverage_fraction << c.covered_area << c.overlap_area << c.void_samples << c.total_samples;
    for (const CategoryCapInfo& cap : c.caps) out << cap.category_name << cap.cap_radius << cap.cap_area;
    for (const VoronoiCellReport& v : r.voronoi.cells) {
        out << v.category_name << v.cell_area << v.item_count << v.territorial_efficiency << v.graph_neighbor_overlap;
        for (const std::string& n : v.voronoi_neighbors) out << n;
    }
    out << r.voronoi.total_area;
    for (const OverlapPair& p : r.overlap.pairs) {
        out << p.category_a << p.category_b << p.overlap_area << p.bridge_count << p.overlap_per_bridge;
    }
    for (const CategoryExclusivity& e : r.overlap.exclusivity) out << e.category_name << e.cap_area << e.exclusivity;
    for (const CurvatureTriple& t : r.curvature.top_triples) {
        out << t.categories[0] << t.categories[1] << t.categories[2] << t.excess;
    }
    for (const CategoryCurvatureSignature& g : r.curvature.signatures) {
        out << g.category_name << g.mean_excess << g.max_excess << g.min_excess;
    }
    for (const LuneReport& l : r.lunes) {
        out << l.category_a << l.category_b << l.a_leaning_count << l.b_leaning_count << l.on_bisector_count
            << l.asymmetry << l.midpoint_intrusion;
    }
    out << r.num_categories << r.num_items << r.explained_variance_ratio;
    return out.str();
}

TEST(Navigator, SameReportOnOneThreadAndOnEight) {
    const Scene s = scene(9, 10, 21);
    const auto run = [&s](std::size_t threads) {
        const tbb::global_control limit(tbb::global_control::max_allowed_parallelism, threads);
        return fingerprint(analyse(s, small_config()));
    };
    EXPECT_EQ(run(1), run(8));
}

TEST(Navigator, DegenerateLayers) {
    // One category: a whole-sphere cell, a cap of its own, nothing to pair.
    testing::LabelledCorpus corpus = testing::clustered(1, 10, 5, 0.5, 2);
    const testing::BuiltLayer one = testing::build_layer(corpus.labels, corpus.embeddings, testing::quick_config());
    const NavigatorReport r = run_full_analysis(one.layer, one.positions, corpus.labels, small_config(), 0.5);
    ASSERT_EQ(r.voronoi.cells.size(), 1u);
    EXPECT_EQ(r.voronoi.cells[0].cell_area, kFourPi);
    EXPECT_TRUE(r.voronoi.cells[0].voronoi_neighbors.empty());
    EXPECT_EQ(r.voronoi.cells[0].graph_neighbor_overlap, 1.0);
    EXPECT_EQ(r.overlap.exclusivity.at(0).exclusivity, 1.0);
    EXPECT_TRUE(r.curvature.top_triples.empty() && r.lunes.empty() && r.overlap.pairs.empty());
    const CategoryCurvatureSignature& sig = r.curvature.signatures.at(0);
    EXPECT_EQ(sig.mean_excess + sig.max_excess + sig.min_excess, 0.0);

    // No categories: empty lists, every sample void.
    const CategoryLayer empty = CategoryLayer::build_with_config({}, Corpus{}, {}, one.projection,
                                                                 testing::quick_config(), 0.5);
    const NavigatorReport none = run_full_analysis(empty, {}, {}, small_config(), 0.5);
    EXPECT_TRUE(none.antipodal.empty() && none.voronoi.cells.empty() && none.coverage.caps.empty() &&
                none.overlap.exclusivity.empty() && none.curvature.signatures.empty() && none.lunes.empty());
    EXPECT_EQ(none.coverage.coverage_fraction, 0.0);
    EXPECT_EQ(none.coverage.void_samples, 30000u);
    EXPECT_EQ(none.num_categories, 0u);

    // Every item needs a category name.
    const std::vector<std::string> short_names(corpus.labels.begin(), corpus.labels.end() - 1);
    EXPECT_EQ(vantorel::testing::stop_text([&] {
                  run_full_analysis(one.layer, one.positions, short_names, small_config(), 0.5);
              }),
              "index out of bounds: the len is 9 but the index is 9");
}

}  // namespace
}  // namespace vantorel::embed::navigator
