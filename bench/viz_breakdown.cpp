// Where the time of a sphere page goes, step by step, for 100,000 points of
// dimension 384: the PCA fit with the projection of the points, the data
// text, filling the template and writing the file.
#include <cstdio>
#include <filesystem>
#include <span>

#include "bench_common.hpp"
#include "embed/viz/page_file.hpp"
#include "embed/viz/view_points.hpp"
#include "embed/viz/viz_data.hpp"
#include "embed/viz/viz_page.hpp"

int main() {
    using namespace vantorel;
    using bench::Clock;
    using bench::ms_since;
    const bench::LabelledCorpus corpus = bench::make_corpus(100'000, 384, 20);

    auto start = Clock::now();
    const embed::viz::ViewPoints view = embed::viz::fit_view_points(corpus.rows).value();
    const double project_ms = ms_since(start);

    start = Clock::now();
    const std::string data = embed::viz::build_data_json(corpus.labels, view.cartesian, view.spherical,
                                                         std::span<const std::string>(corpus.labels),
                                                         view.explained_variance_ratio);
    const double data_ms = ms_since(start);

    start = Clock::now();
    const std::string page = embed::viz::make_page(data, embed::viz::kDefaultTitle);
    const double fill_ms = ms_since(start);

    const auto path = std::filesystem::temp_directory_path() / "vantorel_viz_breakdown.html";
    start = Clock::now();
    const auto written = embed::viz::write_page(path.string(), page);
    const double write_ms = ms_since(start);
    std::filesystem::remove(path);
    if (!written) {
        std::printf("%s\n", written.error().message().c_str());
        return 1;
    }

    std::printf("100000 x 384: PCA fit and projection %.1f ms | data text %.1f ms, template %.1f ms, write %.1f ms"
                " (page %.1f MB, %.1f ms in all)\n",
                project_ms, data_ms, fill_ms, write_ms, static_cast<double>(page.size()) / 1e6,
                data_ms + fill_ms + write_ms);
    return 0;
}
