#include "embed/tuning/tune_report.hpp"

namespace vantorel::embed {

double TuneReport::mean_score() const noexcept {
    if (trials.empty()) return 0.0;
    double sum = 0.0;
    for (const TrialResult& t : trials) sum += t.score;
    return sum / static_cast<double>(trials.size());
}

}  // namespace vantorel::embed
