#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "core/expected.hpp"
#include "embed/io_error.hpp"
#include "embed/json/json_error.hpp"

namespace vantorel::embed {

// One satisfaction signal for one query of one corpus. The score is meant to
// lie in [0, 1] but is kept exactly as given; summaries clamp it.
struct FeedbackEvent {
    std::string corpus_id;
    std::string query_id;
    double score = 0.0;
    std::string timestamp;

    static constexpr std::string_view kRecordName = "FeedbackEvent";
    static constexpr bool kFieldsHaveDefaults = false;
    template <class Self, class F>
    static void fields(Self& self, F&& f) {
        f("corpus_id", self.corpus_id);
        f("query_id", self.query_id);
        f("score", self.score);
        f("timestamp", self.timestamp);
    }

    // Stamped with the current whole seconds since the UNIX epoch.
    static FeedbackEvent now(std::string corpus_id, std::string query_id, double score);

    // Compact JSON, fields in declaration order.
    [[nodiscard]] std::string to_json() const;
    static core::Expected<FeedbackEvent, JsonError> from_json(std::string_view text);

    // `~/.vantorel/feedback_events.json`.
    static core::Expected<std::filesystem::path, IoError> default_store_path();
    // Appends this event as one line; an event with a non-finite score is
    // refused with an invalid-data error and nothing is written.
    [[nodiscard]] core::Expected<std::filesystem::path, IoError> append_to_default_store() const;

    friend bool operator==(const FeedbackEvent&, const FeedbackEvent&) = default;
};

}  // namespace vantorel::embed
