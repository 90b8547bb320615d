// visualize and visualize_pipeline: the interactive sphere page as an HTML file.
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/format.hpp"
#include "embed/viz/page_file.hpp"
#include "embed/viz/view_points.hpp"
#include "embed/viz/viz_data.hpp"
#include "embed/viz/viz_page.hpp"
#include "python/embedding_input.hpp"
#include "python/pipeline/pipeline.hpp"
#include "python/runtime/gil.hpp"
#include "python/viz/viz.hpp"

namespace vantorel::python {
namespace {

namespace viz = embed::viz;

constexpr Param kVisualizeParams[] = {{"categories"},           {"embeddings"},   {"output", "\"sphere_viz.html\""},
                                      {"labels", "None"},       {"title", "None"}, {"open_browser", "True"}};
constexpr Params kVisualize{nullptr, "visualize", kVisualizeParams};
constexpr Param kPipelineParams[] = {
    {"pipeline"}, {"output", "\"sphere_viz.html\""}, {"title", "None"}, {"open_browser", "True"}};
constexpr Params kVisualizePipeline{nullptr, "visualize_pipeline", kPipelineParams};

constexpr const char* kVisualizeDoc =
    "Generate an interactive 3D sphere visualization from embeddings.\n"
    "\n"
    "Fits a PCA projection to the embeddings, projects them to 3D spherical\n"
    "coordinates and writes a self-contained HTML file with a three.js scene.\n"
    "\n"
    "Args:\n"
    "    categories: One category name per embedding.\n"
    "    embeddings: list[list[float]], at least 3 rows of equal length.\n"
    "    output: Path of the HTML file to write (default \"sphere_viz.html\").\n"
    "    labels: Optional labels shown on hover and in the panels.\n"
    "    title: Page title (default \"Vantorel Visualization\").\n"
    "    open_browser: Open the page in the web browser (default True).\n"
    "\n"
    "Returns:\n"
    "    Absolute path of the generated HTML file.";

constexpr const char* kVisualizePipelineDoc =
    "Generate a visualization from an already-built Pipeline.\n"
    "\n"
    "Reuses the PCA projection fitted inside the pipeline and its item\n"
    "positions. The pipeline's internal ids (s-0000, s-0001, ...) are used as\n"
    "labels unless the pipeline items have associated text.\n"
    "\n"
    "Args:\n"
    "    pipeline: A built vantorel.Pipeline instance.\n"
    "    output: Path of the HTML file to write (default \"sphere_viz.html\").\n"
    "    title: Page title (default \"Vantorel Visualization\").\n"
    "    open_browser: Open the page in the web browser (default True).\n"
    "\n"
    "Returns:\n"
    "    Absolute path of the generated HTML file.";

struct PageOptions {
    std::string output;
    std::optional<std::string> title;
    bool open_browser = true;
};

// `output`, `title` and `open_browser`, which both functions take.
template <class A>
PageOptions read_page_options(const A& a, std::string output) {
    PageOptions options{std::move(output), std::nullopt, true};
    options.title = a.template optional<"title">(to_string);
    options.open_browser = a.template flag<"open_browser">();
    return options;
}

// Opens the page through the interpreter's webbrowser module; an exception
// from the import or the call reaches the caller as it is.
void open_in_browser(PyObject* path) {
    Ref pathlib = Ref::steal(PyImport_ImportModule("pathlib"));
    if (!pathlib) throw PyErrorSet{};
    // A percent-encoded URI, so that spaces, '#' and '%' in the path name the right file.
    Ref path_obj = Ref::steal(PyObject_CallMethod(pathlib.get(), "Path", "O", path));
    if (!path_obj) throw PyErrorSet{};
    Ref uri = Ref::steal(PyObject_CallMethod(path_obj.get(), "as_uri", nullptr));
    if (!uri) throw PyErrorSet{};
    Ref webbrowser = Ref::steal(PyImport_ImportModule("webbrowser"));
    if (!webbrowser) throw PyErrorSet{};
    Ref result = Ref::steal(PyObject_CallMethod(webbrowser.get(), "open", "O", uri.get()));
    if (!result) throw PyErrorSet{};
}

Ref publish(const std::string& data_text, const PageOptions& options) {
    const std::string page =
        viz::make_page(data_text, options.title ? std::string_view(*options.title) : viz::kDefaultTitle);
    auto written = viz::write_page(options.output, page);
    if (!written) raise_value_error(written.error().message());
    const std::string& resolved = written.value();
    // Path bytes that are not UTF-8 show as U+FFFD.
    Ref path = Ref::steal(PyUnicode_DecodeUTF8(resolved.data(), static_cast<Py_ssize_t>(resolved.size()), "replace"));
    if (!path) throw PyErrorSet{};
    if (options.open_browser) open_in_browser(path.get());
    return path;
}

Ref visualize(const Args<kVisualizeParams>& a) {
    const std::vector<std::string> categories = a.str_list<"categories">();
    const embed::Corpus embeddings = a.convert<"embeddings">(extract_nested_rows);
    std::string output = a.str<"output">();
    const std::optional<std::vector<std::string>> labels = a.optional<"labels">(to_string_list);
    const PageOptions options = read_page_options(a, std::move(output));
    if (categories.size() != embeddings.size()) {
        raise_value_error(core::format("categories length ({}) != embeddings length ({})", categories.size(),
                                       embeddings.size()));
    }
    if (embeddings.size() < 3) raise_value_error("need at least 3 embeddings");
    reject_non_finite_rows(embeddings);
    reject_ragged_rows(embeddings);

    const auto view = with_interrupts([&] { return viz::fit_view_points(embeddings); });
    if (!view) raise_value_error(view.error().message());
    std::optional<std::span<const std::string>> label_view;
    if (labels) label_view = std::span<const std::string>(*labels);
    const std::string data = viz::build_data_json(categories, view->cartesian, view->spherical, label_view,
                                                  view->explained_variance_ratio);
    return publish(data, options);
}

Ref visualize_pipeline(const Args<kPipelineParams>& a) {
    PyObject* pipeline_obj = a.instance<"pipeline">(pipeline_class().type(), "Pipeline");
    const PageOptions options = read_page_options(a, a.str<"output">());
    const SharedBorrow borrow(as_instance<PyPipeline>(pipeline_obj)->borrow);
    const embed::VantorelPipeline& pipeline = Class<PyPipeline>::value_of(pipeline_obj).engine;

    const auto view = viz::pipeline_view(pipeline);
    if (!view) raise_value_error(view.error().message());
    const viz::ViewPoints& points = view->points;
    const std::string data = viz::build_data_json(view->categories, points.cartesian, points.spherical,
                                                  std::span<const std::string>(view->ids),
                                                  points.explained_variance_ratio);
    return publish(data, options);
}

}  // namespace

PyMethodDef& visualize_def() { return function_def<visualize, kVisualize>(kVisualizeDoc); }
PyMethodDef& visualize_pipeline_def() { return function_def<visualize_pipeline, kVisualizePipeline>(kVisualizePipelineDoc); }

}  // namespace vantorel::python
