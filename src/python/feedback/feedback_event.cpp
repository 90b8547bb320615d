#include "core/format.hpp"
#include "python/dict_record.hpp"
#include "python/feedback/feedback.hpp"
#include "python/runtime/gil.hpp"
#include "python/store_path.hpp"

namespace vantorel::python {
namespace {

using embed::FeedbackEvent;

constexpr Param kNewParams[] = {{"corpus_id"}, {"query_id"}, {"score"}, {"timestamp", "None"}};
constexpr Params kNew{"FeedbackEvent", "__new__", kNewParams};

// The score is kept exactly as given, NaN included; summaries clamp it.
FeedbackEvent construct(const Args<kNewParams>& a) {
    std::string corpus_id = a.str<"corpus_id">();
    std::string query_id = a.str<"query_id">();
    const double score = a.f64<"score">();
    std::optional<std::string> timestamp = a.optional<"timestamp">(to_string);
    if (!timestamp) return FeedbackEvent::now(std::move(corpus_id), std::move(query_id), score);
    return {std::move(corpus_id), std::move(query_id), score, std::move(*timestamp)};
}

Ref append_to_default_store(const FeedbackEvent& event) {
    auto path = with_interrupts([&event] { return event.append_to_default_store(); });
    if (!path) raise_value_error("failed to append event: " + path.error().message());
    return path_to_py(*path);
}

std::string repr(const FeedbackEvent& e) {
    return core::format("FeedbackEvent(corpus_id={:?}, query_id={:?}, score={:.4})", e.corpus_id, e.query_id, e.score);
}

}  // namespace

Class<FeedbackEvent>& feedback_event_class() {
    static Class<FeedbackEvent> cls("FeedbackEvent");
    static Class<FeedbackEvent>& described =
        cls.constructor<construct, kNew>(
               "One user-supplied satisfaction signal attached to a specific query of a corpus.\n\n"
               "`score` is a scalar in [0, 1]. It is stored as given; the aggregator clamps it\n"
               "at summarize time, so stored raw values are preserved. Without a timestamp the\n"
               "event is stamped with the current whole seconds since the Unix epoch.")
            .getter<[](const FeedbackEvent& e) { return to_py(e.corpus_id); }>("corpus_id")
            .getter<[](const FeedbackEvent& e) { return to_py(e.query_id); }>("query_id")
            .getter<[](const FeedbackEvent& e) { return to_py(e.score); }>("score")
            .getter<[](const FeedbackEvent& e) { return to_py(e.timestamp); }>("timestamp")
            .method<[](const FeedbackEvent& e) { return write_dict(e); }>("to_dict")
            .method<append_to_default_store>(
                "append_to_default_store",
                "Append this event to the default store at \"~/.vantorel/feedback_events.json\".\n\n"
                "Returns the absolute path of the store file.")
            .repr<repr>();
    return described;
}

}  // namespace vantorel::python
