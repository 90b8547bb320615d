#include "core/format.hpp"
#include "python/dict_record.hpp"
#include "python/feedback/feedback.hpp"
#include "python/runtime/gil.hpp"
#include "python/store_path.hpp"

namespace vantorel::python {
namespace {

using embed::FeedbackAggregator;

constexpr Params kNew{"FeedbackAggregator", "__new__", {}};
constexpr Param kPath[] = {{"path"}};
constexpr Params kLoad{"FeedbackAggregator", "load", kPath};
constexpr Params kLoadDefault{"FeedbackAggregator", "load_default", {}};
constexpr Params kSave{"FeedbackAggregator", "save", kPath};
constexpr Param kEvent[] = {{"event"}};
constexpr Params kRecord{"FeedbackAggregator", "record", kEvent};
constexpr Param kCorpusId[] = {{"corpus_id"}};
constexpr Params kSummarize{"FeedbackAggregator", "summarize", kCorpusId};

FeedbackAggregator construct() { return {}; }

Ref load(const Args<kPath>& a) {
    auto aggregator = with_interrupts([path = a.convert<"path">(to_path)] { return FeedbackAggregator::load(path); });
    if (!aggregator) raise_value_error("failed to load: " + aggregator.error().message());
    return feedback_aggregator_class().make(std::move(aggregator).value());
}

Ref load_default() {
    auto aggregator = with_interrupts([] { return FeedbackAggregator::load_default_store(); });
    if (!aggregator) raise_value_error("failed to load default store: " + aggregator.error().message());
    return feedback_aggregator_class().make(std::move(aggregator).value());
}

Ref save(const FeedbackAggregator& aggregator, const Args<kPath>& a) {
    const auto error = with_interrupts([&aggregator, path = a.convert<"path">(to_path)] { return aggregator.save(path); });
    if (error) raise_value_error("failed to save: " + error->message());
    return none();
}

// The event is copied: later use of the Python object cannot reach the aggregator.
Ref record(FeedbackAggregator& aggregator, const Args<kEvent>& a) {
    PyObject* event = a.instance<"event">(feedback_event_class().type(), "FeedbackEvent");
    aggregator.record(Class<embed::FeedbackEvent>::value_of(event));
    return none();
}

Ref corpus_ids(const FeedbackAggregator& aggregator) {
    const std::vector<std::string> ids = aggregator.corpus_ids();
    Ref list = new_list(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) set_item(list, i, to_py(ids[i]));
    return list;
}

Ref summarize(const FeedbackAggregator& aggregator, const Args<kCorpusId>& a) {
    const auto summary = aggregator.summarize(a.str<"corpus_id">());
    return summary ? write_dict(*summary) : none();
}

Ref summarize_all(const FeedbackAggregator& aggregator) {
    const std::vector<embed::FeedbackSummary> summaries = aggregator.summarize_all();
    Ref list = new_list(summaries.size());
    for (std::size_t i = 0; i < summaries.size(); ++i) set_item(list, i, write_dict(summaries[i]));
    return list;
}

}  // namespace

Class<FeedbackAggregator>& feedback_aggregator_class() {
    static Class<FeedbackAggregator> cls("FeedbackAggregator");
    static Class<FeedbackAggregator>& described =
        cls.constructor<construct, kNew>("Accumulates feedback events and summarises them by `corpus_id`.")
            .static_method<load, kLoad>(
                "Load an aggregator from a JSON file (one event per line, or one JSON array of\n"
                "events), or return an empty one if the file does not exist.")
            .static_method<load_default, kLoadDefault>(
                "Load the default store at \"~/.vantorel/feedback_events.json\".")
            .method<save, kSave>()
            .method<record, kRecord>()
            .method<corpus_ids>("corpus_ids")
            .method<summarize, kSummarize>(
                "Summarise the feedback for one corpus: a dict with corpus_id, n_events,\n"
                "mean_score, min_score and max_score (scores clamped to [0, 1]), or None if\n"
                "there are no events for it.")
            .method<summarize_all>("summarize_all", "Summarise every corpus that has events, ordered by corpus id.")
            .length<[](const FeedbackAggregator& g) { return g.size(); }>()
            .truth<[](const FeedbackAggregator& g) { return g.size() != 0; }>()
            .repr<[](const FeedbackAggregator& g) { return core::format("FeedbackAggregator(events={})", g.size()); }>();
    return described;
}

}  // namespace vantorel::python
