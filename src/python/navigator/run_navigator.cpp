// run_navigator: the engine's whole-layer analysis of a built Pipeline.
#include <optional>
#include <vector>

#include "embed/navigator/run_full_analysis.hpp"
#include "python/navigator/navigator.hpp"
#include "python/navigator/navigator_reports.hpp"
#include "python/pipeline/pipeline.hpp"
#include "python/runtime/gil.hpp"

namespace vantorel::python {
namespace {

namespace nav = embed::navigator;

constexpr Param kRunParams[] = {{"pipeline"}, keyword_only("config", "None")};
constexpr Params kRun{nullptr, "run_navigator", kRunParams};

// The analysis runs with the interpreter lock held: no other Python thread
// runs meanwhile, and both borrows last until the report is built.
Ref run_navigator(const Args<kRunParams>& a) {
    PyObject* pipeline_obj = a.instance<"pipeline">(pipeline_class().type(), "Pipeline");
    const SharedBorrow pipeline_borrow(as_instance<PyPipeline>(pipeline_obj)->borrow);
    const embed::VantorelPipeline& pipeline = Class<PyPipeline>::value_of(pipeline_obj).engine;

    nav::NavigatorConfig config;
    std::optional<SharedBorrow> config_borrow;
    if (const auto config_obj = a.optional<"config">(instance_of(navigator_config_class().type(), "NavigatorConfig"))) {
        config_borrow.emplace(as_instance<nav::NavigatorConfig>(*config_obj)->borrow);
        config = Class<nav::NavigatorConfig>::value_of(*config_obj);
    }

    std::vector<core::SphericalPoint> positions;
    {
        const std::vector<embed::ExportedPoint> points = pipeline.exported_points();
        positions.reserve(points.size());
        for (const embed::ExportedPoint& p : points) positions.push_back({p.r, p.theta, p.phi});
    }
    // The names are read in place: the borrow keeps the pipeline as it is.
    // The lock stays held for the whole analysis; Ctrl-C still stops it.
    nav::NavigatorReport report = with_interrupts([&] {
        return nav::run_full_analysis(pipeline.category_layer(), positions, pipeline.categories(), config,
                                      pipeline.explained_variance_ratio());
    });
    return navigator_report_class().make(to_navigator_report(std::move(report)));
}

}  // namespace

PyMethodDef& run_navigator_def() { return function_def<run_navigator, kRun>(); }

}  // namespace vantorel::python
