#include "embed/pipeline/confidence.hpp"

#include <cmath>

#include "core/format.hpp"
#include "core/invariant.hpp"

namespace vantorel::embed {

std::string_view severity_name(WarningSeverity severity) {
    switch (severity) {
        case WarningSeverity::Info: return "Info";
        case WarningSeverity::Warning: return "Warning";
        case WarningSeverity::Critical: return "Critical";
    }
    core::stop("unknown warning severity");
}

std::optional<ProjectionWarning> grade_projection(double evr) {
    const double percent = evr * 100.0;
    if (evr >= 0.35) return std::nullopt;
    if (evr >= 0.25) {
        return ProjectionWarning{
            core::format("EVR={:.1}% — below recommended {:.0}%. Results usable with caution.", percent, 35.0), evr,
            WarningSeverity::Info};
    }
    if (evr >= 0.15) {
        return ProjectionWarning{
            core::format("EVR={:.1}% — projection is lossy. Bridge counts may be inflated. "
                         "Certainty-weighted results recommended.",
                         percent),
            evr, WarningSeverity::Warning};
    }
    return ProjectionWarning{core::format("EVR={:.1}% — projection captures very little variance. Category routing "
                                          "and bridges are unreliable. Use inner spheres.",
                                          percent),
                             evr, WarningSeverity::Critical};
}

double hit_confidence(double evr, double certainty) {
    return evr * certainty * std::fmax(std::sqrt(certainty), 0.01);
}

}  // namespace vantorel::embed
