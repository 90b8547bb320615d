#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/expected.hpp"
#include "embed/feedback/feedback_event.hpp"
#include "embed/feedback/feedback_summary.hpp"
#include "embed/io_error.hpp"

namespace vantorel::embed {

// Feedback events in memory, in the order they were recorded or read,
// summarised per corpus. Unbounded unless made with `bounded`; a bounded
// aggregator keeps only the most recent events. A plain value: one writer at
// a time.
class FeedbackAggregator {
public:
    FeedbackAggregator() = default;
    // Holds at most `max_events` events; a bound of 0 is a broken invariant.
    static FeedbackAggregator bounded(std::size_t max_events);

    [[nodiscard]] std::optional<std::size_t> max_events() const noexcept { return max_events_; }
    [[nodiscard]] const std::vector<FeedbackEvent>& events() const noexcept { return events_; }
    [[nodiscard]] std::size_t size() const noexcept { return events_.size(); }

    // Appends the event, first dropping the oldest ones beyond the bound.
    void record(FeedbackEvent event);

    [[nodiscard]] std::optional<FeedbackSummary> summarize(std::string_view corpus_id) const;
    // One summary per corpus, ascending by corpus id byte for byte.
    [[nodiscard]] std::vector<FeedbackSummary> summarize_all() const;
    [[nodiscard]] std::vector<std::string> corpus_ids() const;

    // An unbounded aggregator from a JSON-lines or JSON-array file; a missing
    // file gives an empty one.
    static core::Expected<FeedbackAggregator, IoError> load(const std::filesystem::path& path);
    static core::Expected<FeedbackAggregator, IoError> load_default_store();
    // The events as one pretty-printed JSON array, replacing the file whole.
    // An event with a non-finite score is refused and nothing is written.
    [[nodiscard]] std::optional<IoError> save(const std::filesystem::path& path) const;

    // The text `save` writes: "[" and "]" on lines of their own, each event an
    // object indented by two spaces, its fields by four.
    [[nodiscard]] std::string to_pretty_json() const;

private:
    std::optional<std::size_t> max_events_;
    std::vector<FeedbackEvent> events_;
};

}  // namespace vantorel::embed
