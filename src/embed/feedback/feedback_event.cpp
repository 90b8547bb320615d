#include "embed/feedback/feedback_event.hpp"

#include <utility>

#include "embed/json/json_record.hpp"
#include "embed/store/json_lines_store.hpp"
#include "embed/util.hpp"

namespace vantorel::embed {

FeedbackEvent FeedbackEvent::now(std::string corpus_id, std::string query_id, double score) {
    return {std::move(corpus_id), std::move(query_id), score, util::default_timestamp()};
}

std::string FeedbackEvent::to_json() const { return write_json_text(*this); }

core::Expected<FeedbackEvent, JsonError> FeedbackEvent::from_json(std::string_view text) {
    return read_json_text<FeedbackEvent>(text);
}

core::Expected<std::filesystem::path, IoError> FeedbackEvent::default_store_path() {
    return store::home_store_path("feedback_events.json");
}

core::Expected<std::filesystem::path, IoError> FeedbackEvent::append_to_default_store() const {
    auto path = default_store_path();
    if (!path) return path;
    return store::append_record(*path, *this);
}

}  // namespace vantorel::embed
