#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "core/conversions.hpp"
#include "embed/projection/pca_projection.hpp"
#include "embed/viz/page_file.hpp"
#include "embed/viz/view_points.hpp"
#include "embed/viz/viz_data.hpp"
#include "embed/viz/viz_page.hpp"

namespace vantorel::embed::viz {
namespace {

std::string script_string(std::string_view text) {
    std::string out;
    append_script_json_string(out, text);
    return out;
}

std::size_t occurrences(std::string_view text, std::string_view what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(VizData, StringsEscapeJsonAndScriptEndings) {
    EXPECT_EQ(script_string("a\"b\\c\nd\te\x01/\xC3\xA9"), R"("a\"b\\c\nd\te\u0001/)" "\xC3\xA9\"");
    EXPECT_EQ(script_string("</script><!--&"), R"("\u003c/script\u003e\u003c!--\u0026")");
    // U+2028 and U+2029 escaped; other characters with lead byte E2 kept.
    EXPECT_EQ(script_string("\xE2\x80\xA8x\xE2\x80\xA9\xE2\x82\xAC"), "\"\\u2028x\\u2029\xE2\x82\xAC\"");
    EXPECT_EQ(script_string("\xE2\x80"), "\"\xE2\x80\"");
    EXPECT_EQ(script_string(std::string_view("\b\f\r\0", 4)), R"("\b\f\r\u0000")");
}

TEST(VizData, PointsInOrderWithFixedDecimals) {
    const std::vector<std::string> cats{"a", "b", "c"};
    const std::vector<core::CartesianPoint> xyz{{1.0, -0.0, 0.1234567}, {-2.5, 0.0000004, 1e-7}, {0, 0, 0}};
    const std::vector<core::SphericalPoint> sph{{1.0, 0.00005, 3.14159265}, {2.0, 6.0, 0.0}};
    const std::vector<std::string> labels{"first"};
    EXPECT_EQ(build_data_json(cats, xyz, sph, std::span<const std::string>(labels), 0.4567),
              R"({"evr":0.456700,"points":[)"
              R"({"x":1.000000,"y":-0.000000,"z":0.123457,"r":1.0000,"theta":0.0001,"phi":3.1416,"cat":"a","label":"first"},)"
              R"({"x":-2.500000,"y":0.000000,"z":0.000000,"r":2.0000,"theta":6.0000,"phi":0.0000,"cat":"b","label":""}]})");
    EXPECT_EQ(build_data_json({}, {}, {}, std::nullopt, 1.0), R"({"evr":1.000000,"points":[]})");
}

TEST(VizViewPoints, EveryRowProjectedByTheFittedPcaAndPositionsMustBeFinite) {
    const Corpus rows = Corpus::from_rows(
        {{1.0, 0.2, 0.0, 3.0}, {0.0, 1.0, 0.5, 0.0}, {0.3, 0.0, 1.0, 1.0}, {2.0, 1.0, 0.0, 0.5}, {0.1, 0.1, 0.1, 0.1}});
    const ViewPoints view = fit_view_points(rows).value();
    const PcaProjection pca = PcaProjection::fit(rows, RadialStrategy::magnitude()).value();
    EXPECT_EQ(view.explained_variance_ratio, pca.explained_variance_ratio());
    ASSERT_EQ(view.spherical.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const core::SphericalPoint expected = pca.project(rows[i]);
        const core::CartesianPoint xyz = core::spherical_to_cartesian(expected);
        EXPECT_EQ(view.spherical[i].r, expected.r);
        EXPECT_EQ(view.spherical[i].theta, expected.theta);
        EXPECT_EQ(view.spherical[i].phi, expected.phi);
        EXPECT_EQ(view.cartesian[i].x, xyz.x);
        EXPECT_EQ(view.cartesian[i].y, xyz.y);
        EXPECT_EQ(view.cartesian[i].z, xyz.z);
    }
    // A finite row whose magnitude overflows would put inf into the page's script.
    std::vector<std::vector<double>> huge{{1.5e308, 1.5e308, 1.5e308, 0.0}};
    for (std::size_t i = 0; i < rows.size(); ++i) huge.emplace_back(rows[i].begin(), rows[i].end());
    EXPECT_EQ(fit_view_points(Corpus::from_rows(huge)).error().message(),
              "point 0 has a position that is not finite (its embedding's magnitude is beyond the float range)");
    EXPECT_EQ(fit_view_points(Corpus{}).error().message(),
              "PCA fit failed: " + PcaProjection::fit(Corpus{}, RadialStrategy::magnitude()).error().message());
}

TEST(VizPage, TemplateHoldsEachPlaceholderOnce) {
    EXPECT_EQ(occurrences(page_template(), kTitlePlaceholder), 1U);
    EXPECT_EQ(occurrences(page_template(), kDataPlaceholder), 1U);
    EXPECT_NE(page_template().find("three.js/r128/three.min.js"), std::string_view::npos);
}

TEST(VizPage, FillsEachPlaceholderOnceAtItsPlace) {
    const std::string data = std::string(R"({"evr":1,"points":[{"cat":")") + std::string(kTitlePlaceholder) + "\"}]}";
    const std::string page = make_page(data, "A & <b>\"B\"</b>");
    EXPECT_NE(page.find("<title>A &amp; &lt;b&gt;&quot;B&quot;&lt;/b&gt;</title>"), std::string::npos);
    EXPECT_NE(page.find("const D = " + data + ";"), std::string::npos);
    EXPECT_EQ(occurrences(page, kTitlePlaceholder), 1U);
    EXPECT_EQ(occurrences(page, kDataPlaceholder), 0U);
    EXPECT_EQ(page.size(), page_template().size() - kTitlePlaceholder.size() - kDataPlaceholder.size() + data.size() +
                               std::string_view("A &amp; &lt;b&gt;&quot;B&quot;&lt;/b&gt;").size());
}

TEST(VizPageFile, WritesAndResolvesOrReportsTheOsError) {
    const auto dir = std::filesystem::temp_directory_path() / ("vantorel_viz_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "sub");
    const std::string relative_target = (dir / "sub" / ".." / "page.html").string();
    const auto written = write_page(relative_target, "<html>x</html>\n");
    ASSERT_TRUE(written.has_value()) << written.error().message();
    EXPECT_EQ(*written, std::filesystem::canonical(dir / "page.html").string());
    std::ifstream in(*written);
    std::stringstream body;
    body << in.rdbuf();
    EXPECT_EQ(body.str(), "<html>x</html>\n");

    const std::string missing = (dir / "nope" / "page.html").string();
    const auto failed = write_page(missing, "x");
    ASSERT_FALSE(failed.has_value());
    EXPECT_EQ(failed.error().message(), "failed to write " + missing + ": No such file or directory (os error 2)");
    EXPECT_FALSE(std::filesystem::exists(dir / "nope"));

    const auto nul = write_page(std::string("a\0b", 3), "x");
    ASSERT_FALSE(nul.has_value());
    EXPECT_EQ(nul.error().message(), std::string("failed to write a\0b: Invalid argument (os error 22)", 51));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vantorel::embed::viz
