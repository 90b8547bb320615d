#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "embed/config.hpp"
#include "embed/json/json_record.hpp"
#include "embed/projection/projection.hpp"

namespace vantorel::embed {
namespace {

constexpr std::string_view kDefaultJson =
    R"({"projection_kind":"Pca",)"
    R"("inner_sphere":{"min_size":20,"min_evr_improvement":0.1,"kernel_pca_min_size":80,"min_kernel_improvement":0.05},)"
    R"("bridges":{"threshold_base":0.5,"threshold_evr_penalty":0.4,"overlap_artifact_territorial":0.3},)"
    R"("routing":{"num_domain_groups":5,"low_evr_threshold":0.35},)"
    R"("laplacian":{"k_neighbors":15,"active_threshold":0.05},)"
    R"("spatial":{"coverage_samples":100000,"exclusivity_samples":30000,"voronoi_samples":100000}})";

PipelineConfig read(std::string_view text) {
    auto r = PipelineConfig::from_json(text);
    EXPECT_TRUE(r.has_value()) << text << " -> " << (r ? "" : r.error().message());
    return r ? *r : PipelineConfig{};
}

std::string read_error(std::string_view text) {
    const auto r = PipelineConfig::from_json(text);
    return r ? "ok" : r.error().message();
}

TEST(PipelineConfigJson, DefaultRecordText) {
    EXPECT_EQ(PipelineConfig{}.to_json(), kDefaultJson);
    EXPECT_EQ(read(kDefaultJson), PipelineConfig{});
}

TEST(PipelineConfigJson, AbsentFieldsTakeDefaults) {
    EXPECT_EQ(read("{}"), PipelineConfig{});
    EXPECT_EQ(read(" [ ] "), PipelineConfig{});

    const auto routed = read(R"({"routing":{"low_evr_threshold":0.25}})");
    PipelineConfig expected;
    expected.routing.low_evr_threshold = 0.25;
    EXPECT_EQ(routed, expected);

    EXPECT_EQ(read(R"(["KernelPca"])").projection_kind, ProjectionKind::KernelPca);
    EXPECT_EQ(read(R"(["KernelPca"])").inner_sphere, InnerSphereConfig{});

    // Positional groups: the leading fields given, the rest defaulted; integers read as reals.
    const auto positional = read(R"(["Pca",[7,2],{},[],{"k_neighbors":3}])");
    EXPECT_EQ(positional.inner_sphere.min_size, 7u);
    EXPECT_EQ(positional.inner_sphere.min_evr_improvement, 2.0);
    EXPECT_EQ(positional.inner_sphere.kernel_pca_min_size, 80u);
    EXPECT_EQ(positional.laplacian.k_neighbors, 3u);
    EXPECT_EQ(positional.spatial, SpatialConfig{});
}

TEST(PipelineConfigJson, ProjectionKindForms) {
    EXPECT_EQ(read(R"({"projection_kind":"KernelPca"})").projection_kind, ProjectionKind::KernelPca);
    EXPECT_EQ(read(R"({"projection_kind":{ "LaplacianEigenmap" : null }})").projection_kind,
              ProjectionKind::LaplacianEigenmap);

    EXPECT_EQ(read_error(R"({"projection_kind":"pca"})"),
              "unknown variant `pca`, expected one of `Pca`, `KernelPca`, `LaplacianEigenmap` at line 1 column 24");
    EXPECT_EQ(read_error(R"({"projection_kind":{"LaplacianEigenmap":1}})"),
              "invalid type: integer `1`, expected unit at line 1 column 41");
    EXPECT_EQ(read_error(R"({"projection_kind":{1:null}})"),
              "invalid type: integer `1`, expected variant identifier at line 1 column 21");
    EXPECT_EQ(read_error(R"({"projection_kind":{"Pca":null,"x":1}})"), "expected value at line 1 column 30");
    EXPECT_EQ(read_error(R"({"projection_kind":null})"), "expected value at line 1 column 20");
}

TEST(PipelineConfigJson, UnknownKeysAreSkippedWhateverTheyHold) {
    const auto cfg = read(R"({"comment":{"deep":[1,-2.5e9,{"x":"y\u0041"}],"z":null},)"
                          R"("spatial":{"comment":true,"voronoi_samples":7,"also":[[]]},"tail":1e999})");
    PipelineConfig expected;
    expected.spatial.voronoi_samples = 7;
    EXPECT_EQ(cfg, expected);
    // Skipped values are still checked for syntax.
    EXPECT_EQ(read_error(R"({"comment":[1,]})"), "expected value at line 1 column 15");
}

TEST(PipelineConfigJson, WrongKindsAndShapes) {
    EXPECT_EQ(read_error(R"({"spatial":null})"), "invalid type: null, expected struct SpatialConfig at line 1 column 15");
    EXPECT_EQ(read_error(R"({"inner_sphere":{"min_size":20.0}})"),
              "invalid type: floating point `20.0`, expected u64 at line 1 column 32");
    EXPECT_EQ(read_error(R"({"inner_sphere":{"min_size":-1}})"),
              "invalid value: integer `-1`, expected u64 at line 1 column 30");
    EXPECT_EQ(read_error(R"({"inner_sphere":{"min_size":1e2}})"),
              "invalid type: floating point `100.0`, expected u64 at line 1 column 31");
    EXPECT_EQ(read_error(R"({"routing":{"num_domain_groups":18446744073709551616}})"),
              "invalid type: floating point `1.8446744073709552e19`, expected u64 at line 1 column 52");
    EXPECT_EQ(read(R"({"routing":{"num_domain_groups":18446744073709551615}})").routing.num_domain_groups,
              std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(read(R"({"bridges":{"threshold_base":1}})").bridges.threshold_base, 1.0);
    EXPECT_EQ(read_error(R"({"bridges":{"threshold_base":null}})"),
              "invalid type: null, expected f64 at line 1 column 33");
    EXPECT_EQ(read_error("null"), "invalid type: null, expected struct PipelineConfig at line 1 column 4");
    EXPECT_EQ(read_error(R"("Pca")"), "invalid type: string \"Pca\", expected struct PipelineConfig at line 1 column 5");
    EXPECT_EQ(read_error(R"(["Pca",{},{},{},{},{},{}])"), "trailing characters at line 1 column 23");
    EXPECT_EQ(read_error(R"({"laplacian":[1,2,]})"), "trailing comma at line 1 column 19");
    EXPECT_EQ(read_error("{} x"), "trailing characters at line 1 column 4");
    EXPECT_EQ(read_error(""), "EOF while parsing a value at line 1 column 0");
}

TEST(PipelineConfigJson, RepeatedFieldsAreRefused) {
    EXPECT_EQ(read_error(R"({"routing":{"num_domain_groups":1,"num_domain_groups":2}})"),
              "duplicate field `num_domain_groups` at line 1 column 53");
    // The position lies past the closing brace when it follows the key at once.
    EXPECT_EQ(read_error(R"({"routing":{},"routing" })"), "duplicate field `routing` at line 1 column 25");
}

TEST(PipelineConfigJson, WriteThenReadGivesAnEqualRecord) {
    std::uint64_t state = 99;
    const auto next = [&state] {
        state += kGoldenGamma;
        return splitmix64(state);
    };
    const auto real = [&next] {
        for (;;) {
            const double v = std::bit_cast<double>(next());
            if (std::isfinite(v)) return v;
        }
    };
    for (int i = 0; i < 500; ++i) {
        PipelineConfig cfg;
        cfg.projection_kind = static_cast<ProjectionKind>(next() % 3);
        InnerSphereConfig::fields(cfg.inner_sphere, [&](std::string_view, auto& f) {
            if constexpr (std::is_same_v<std::remove_reference_t<decltype(f)>, double>) {
                f = real();
            } else {
                f = next();
            }
        });
        cfg.bridges = {real(), -real(), 0.0};
        cfg.routing = {next(), real()};
        cfg.laplacian = {0, real()};
        cfg.spatial = {next(), next() >> 40, 1};
        const auto text = cfg.to_json();
        ASSERT_EQ(read(text), cfg) << text;
    }
}

TEST(PipelineConfigJson, NonFiniteRealsAreWrittenAsNull) {
    PipelineConfig cfg;
    cfg.bridges.threshold_base = std::numeric_limits<double>::infinity();
    const auto text = cfg.to_json();
    EXPECT_NE(text.find(R"("threshold_base":null)"), std::string::npos);
    EXPECT_FALSE(PipelineConfig::from_json(text).has_value());
}

// A record whose fields are all required, as the stores' records are.
struct Sample {
    std::string name;
    double score = 0.0;
    std::vector<double> values;

    static constexpr std::string_view kRecordName = "Sample";
    static constexpr bool kFieldsHaveDefaults = false;
    template <class Self, class F>
    static void fields(Self& self, F&& f) {
        f("name", self.name);
        f("score", self.score);
        f("values", self.values);
    }
    friend bool operator==(const Sample&, const Sample&) = default;
};

std::string sample_error(std::string_view text) {
    const auto r = read_json_text<std::vector<Sample>>(text);
    return r ? "ok" : r.error().message();
}

TEST(JsonRecord, RequiredFieldsObjectsAndArrays) {
    const auto ok = read_json_text<std::vector<Sample>>(
                        R"([{"values":[1,2.5],"extra":{},"score":3,"name":"a"},["b",-1,[]]])")
                        .value();
    EXPECT_EQ(ok, (std::vector<Sample>{{"a", 3.0, {1.0, 2.5}}, {"b", -1.0, {}}}));
    EXPECT_EQ(write_json_text(ok), R"([{"name":"a","score":3.0,"values":[1.0,2.5]},{"name":"b","score":-1.0,"values":[]}])");

    EXPECT_EQ(sample_error(R"([{"name":"a","score":1}])"), "missing field `values` at line 1 column 23");
    EXPECT_EQ(sample_error(R"([{}])"), "missing field `name` at line 1 column 3");
    EXPECT_EQ(sample_error(R"([["a",1]])"), "invalid length 2, expected struct Sample with 3 elements at line 1 column 8");
    EXPECT_EQ(sample_error(R"([["a",1,[],4]])"), "trailing characters at line 1 column 12");
    EXPECT_EQ(sample_error(R"([{"name":"a","name":"b"}])"), "duplicate field `name` at line 1 column 19");
    EXPECT_EQ(sample_error(R"([{"name":"a","score":null,"values":[]}])"),
              "invalid type: null, expected f64 at line 1 column 25");
    EXPECT_EQ(sample_error(R"([5])"), "invalid type: integer `5`, expected struct Sample at line 1 column 2");
    EXPECT_EQ(sample_error(R"({})"), "invalid type: map, expected a sequence at line 1 column 0");
}

}  // namespace
}  // namespace vantorel::embed
