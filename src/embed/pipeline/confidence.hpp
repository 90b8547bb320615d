#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantorel::embed {

enum class WarningSeverity : std::uint8_t { Info, Warning, Critical };

// "Info", "Warning" or "Critical".
std::string_view severity_name(WarningSeverity severity);

// A note on a projection that keeps little of the corpus's variance.
struct ProjectionWarning {
    std::string message;
    double evr = 0.0;  // a fraction, not a percentage
    WarningSeverity severity = WarningSeverity::Info;
};

// Grades an explained-variance ratio on fixed thresholds (0.35, 0.25, 0.15);
// none at 0.35 and above.
std::optional<ProjectionWarning> grade_projection(double evr);

// How much a hit can be trusted: evr × certainty × max(√certainty, 0.01).
double hit_confidence(double evr, double certainty);

}  // namespace vantorel::embed
