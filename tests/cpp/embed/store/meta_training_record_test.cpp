#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "embed/store/meta_training_record.hpp"
#include "temp_home.hpp"

namespace vantorel::embed {
namespace {

using testing::read_file;
using testing::TempHome;

MetaTrainingRecord sample(int i) {
    MetaTrainingRecord r;
    r.corpus_id = "corpus-" + std::to_string(i);
    r.features = {100u + static_cast<std::uint64_t>(i), 4, 8, 25.0, 1.0, 0.5, 0.75, 0.01, 0.6, 0.1, 6.0};
    r.best_config.projection_kind = ProjectionKind::LaplacianEigenmap;
    r.best_config.laplacian.k_neighbors = 10;
    r.best_score = 0.125 * i;
    r.metric_name = "silhouette";
    r.strategy = "grid";
    r.timestamp = std::to_string(1700000000 + i);
    return r;
}

std::string expected_json(const MetaTrainingRecord& r) {
    return R"({"corpus_id":")" + r.corpus_id + R"(","features":{"n_items":)" + std::to_string(r.features.n_items) +
           R"(,"n_categories":4,"dim":8,"mean_members_per_category":25.0,"category_size_entropy":1.0,)"
           R"("mean_sparsity":0.5,"axis_utilization_entropy":0.75,"noise_estimate":0.01,)"
           R"("mean_intra_category_similarity":0.6,"mean_inter_category_similarity":0.1,)"
           R"("category_separation_ratio":6.0},"best_config":)" +
           r.best_config.to_json() + R"(,"best_score":0.25,"metric_name":"silhouette","strategy":"grid",)"
           R"("timestamp":")" + r.timestamp + R"("})";
}

TEST(MetaTrainingRecord, JsonForms) {
    const auto r = sample(2);
    EXPECT_EQ(r.to_json(), expected_json(r));
    EXPECT_EQ(MetaTrainingRecord::from_json(r.to_json()).value(), r);

    // An empty configuration object takes every default; extra keys are ignored.
    auto with_defaults = r;
    with_defaults.best_config = {};
    std::string text = r.to_json();
    text.replace(text.find(r.best_config.to_json()), r.best_config.to_json().size(), "{}");
    text.insert(1, R"("note":"x",)");
    EXPECT_EQ(MetaTrainingRecord::from_json(text).value(), with_defaults);

    const auto fails_with = [](const std::string& bad, const std::string& start) {
        const auto got = MetaTrainingRecord::from_json(bad);
        ASSERT_FALSE(got.has_value()) << bad;
        EXPECT_TRUE(got.error().message().starts_with(start)) << got.error().message();
    };
    std::string no_dim = r.to_json();
    no_dim.erase(no_dim.find(R"("dim":8,)"), 8);
    fails_with(no_dim, "missing field `dim`");
    std::string fractional = r.to_json();
    fractional.replace(fractional.find(R"("dim":8)"), 7, R"("dim":8.5)");
    fails_with(fractional, "invalid type: floating point `8.5`, expected u64");
    std::string no_score = r.to_json();
    no_score.replace(no_score.find("0.25"), 4, "null");
    fails_with(no_score, "invalid type: null, expected f64");
    fails_with(R"(["c"])", "invalid length 1, expected struct MetaTrainingRecord with 7 elements");
    fails_with(R"("c")", R"(invalid type: string "c", expected struct MetaTrainingRecord)");
}

TEST(MetaTrainingRecord, DefaultStore) {
    TempHome home;
    EXPECT_TRUE(MetaTrainingRecord::load_default_store().value().empty());
    const auto path = home.store("meta_records.json");

    // A legacy array of two records, then an append: three lines in order.
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << "[\n" << sample(1).to_json() << ",\n" << sample(2).to_json() << "\n]";
    EXPECT_EQ(MetaTrainingRecord::load_default_store().value(), (std::vector{sample(1), sample(2)}));
    EXPECT_EQ(MetaTrainingRecord::append_to_default_store(sample(3)).value(), path);
    EXPECT_EQ(read_file(path), sample(1).to_json() + "\n" + sample(2).to_json() + "\n" + sample(3).to_json() + "\n");
    EXPECT_EQ(MetaTrainingRecord::load_default_store().value(), (std::vector{sample(1), sample(2), sample(3)}));

    // Any non-finite number, nested ones included, is refused and nothing written.
    const std::string before = read_file(path);
    auto bad_score = sample(4);
    bad_score.best_score = std::numeric_limits<double>::quiet_NaN();
    auto bad_feature = sample(4);
    bad_feature.features.noise_estimate = std::numeric_limits<double>::infinity();
    auto bad_config = sample(4);
    bad_config.best_config.bridges.threshold_base = -std::numeric_limits<double>::infinity();
    for (const auto& bad : {bad_score, bad_feature, bad_config}) {
        const auto refused = MetaTrainingRecord::append_to_default_store(bad);
        ASSERT_FALSE(refused.has_value());
        EXPECT_EQ(refused.error().kind, IoError::Kind::InvalidData);
    }
    EXPECT_EQ(MetaTrainingRecord::append_to_default_store(bad_feature).error().message(),
              "field `noise_estimate` holds inf, which JSON cannot represent");
    EXPECT_EQ(read_file(path), before);

    std::string no_timestamp = sample(5).to_json();
    no_timestamp.erase(no_timestamp.find(R"(,"timestamp")"));
    std::ofstream(path, std::ios::app) << no_timestamp << "}\n";
    const auto broken = MetaTrainingRecord::load_default_store();
    ASSERT_FALSE(broken.has_value());
    EXPECT_TRUE(broken.error().message().starts_with("missing field `timestamp` at line 1")) << broken.error().message();
}

TEST(MetaTrainingRecord, DefaultStoreSkipsARecordCutShort) {
    TempHome home;
    ASSERT_TRUE(MetaTrainingRecord::append_to_default_store(sample(1)).has_value());
    const auto path = home.store("meta_records.json");
    std::ofstream(path, std::ios::app) << sample(2).to_json().substr(0, 150);
    EXPECT_EQ(MetaTrainingRecord::load_default_store().value(), std::vector{sample(1)});
    ASSERT_TRUE(MetaTrainingRecord::append_to_default_store(sample(3)).has_value());
    EXPECT_EQ(MetaTrainingRecord::load_default_store().value(), (std::vector{sample(1), sample(3)}));
}

}  // namespace
}  // namespace vantorel::embed
