#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantorel::embed {

// The events of one corpus condensed; scores are clamped to [0, 1] first.
struct FeedbackSummary {
    std::string corpus_id;
    std::uint64_t n_events = 0;
    double mean_score = 0.0;
    double min_score = 0.0;
    double max_score = 0.0;

    static constexpr std::string_view kRecordName = "FeedbackSummary";
    static constexpr bool kFieldsHaveDefaults = false;
    template <class Self, class F>
    static void fields(Self& self, F&& f) {
        f("corpus_id", self.corpus_id);
        f("n_events", self.n_events);
        f("mean_score", self.mean_score);
        f("min_score", self.min_score);
        f("max_score", self.max_score);
    }

    friend bool operator==(const FeedbackSummary&, const FeedbackSummary&) = default;
};

}  // namespace vantorel::embed
