#include "embed/feedback/feedback_aggregator.hpp"

#include <limits>
#include <map>
#include <set>
#include <utility>

#include "core/interrupt.hpp"
#include "core/invariant.hpp"
#include "embed/json/json_record.hpp"
#include "embed/json/json_writer.hpp"
#include "embed/store/json_lines_store.hpp"

namespace vantorel::embed {

namespace {

// Running count, sum, minimum and maximum of clamped scores. A NaN score
// stays NaN: it spoils the mean but never the minimum or maximum.
struct ScoreStats {
    std::uint64_t count = 0;
    double sum = 0.0;
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();

    void add(double score) {
        double s = score;
        if (s < 0.0) s = 0.0;
        if (s > 1.0) s = 1.0;
        ++count;
        sum += s;
        if (s < min) min = s;
        if (s > max) max = s;
    }

    [[nodiscard]] FeedbackSummary summary(std::string corpus_id) const {
        return {std::move(corpus_id), count, sum / static_cast<double>(count), min, max};
    }
};

}  // namespace

FeedbackAggregator FeedbackAggregator::bounded(std::size_t max_events) {
    if (max_events == 0) core::stop("a bounded feedback aggregator must hold at least one event");
    FeedbackAggregator aggregator;
    aggregator.max_events_ = max_events;
    return aggregator;
}

void FeedbackAggregator::record(FeedbackEvent event) {
    if (max_events_ && events_.size() >= *max_events_) {
        const auto drop = static_cast<std::ptrdiff_t>(events_.size() - *max_events_ + 1);
        events_.erase(events_.begin(), events_.begin() + drop);
    }
    events_.push_back(std::move(event));
}

std::optional<FeedbackSummary> FeedbackAggregator::summarize(std::string_view corpus_id) const {
    ScoreStats stats;
    for (const auto& event : events_) {
        if (event.corpus_id == corpus_id) stats.add(event.score);
    }
    if (stats.count == 0) return std::nullopt;
    return stats.summary(std::string(corpus_id));
}

// std::string orders byte for byte (as unsigned char), a prefix first.
std::vector<FeedbackSummary> FeedbackAggregator::summarize_all() const {
    std::map<std::string, ScoreStats, std::less<>> groups;
    for (const auto& event : events_) groups[event.corpus_id].add(event.score);
    std::vector<FeedbackSummary> out;
    out.reserve(groups.size());
    for (const auto& [id, stats] : groups) out.push_back(stats.summary(id));
    return out;
}

std::vector<std::string> FeedbackAggregator::corpus_ids() const {
    std::set<std::string_view> seen;
    for (const auto& event : events_) seen.insert(event.corpus_id);
    return std::vector<std::string>(seen.begin(), seen.end());
}

core::Expected<FeedbackAggregator, IoError> FeedbackAggregator::load(const std::filesystem::path& path) {
    auto events = store::read_records<FeedbackEvent>(path);
    if (!events) return core::Unexpected{std::move(events).error()};
    FeedbackAggregator aggregator;
    aggregator.events_ = std::move(events).value();
    return aggregator;
}

core::Expected<FeedbackAggregator, IoError> FeedbackAggregator::load_default_store() {
    auto path = FeedbackEvent::default_store_path();
    if (!path) return core::Unexpected{std::move(path).error()};
    return load(*path);
}

std::string FeedbackAggregator::to_pretty_json() const {
    if (events_.empty()) return "[]";
    std::string out = "[\n";
    core::InterruptTicker interrupt;
    for (std::size_t i = 0; i < events_.size(); ++i) {
        interrupt.tick();
        out += "  {\n";
        bool first = true;
        FeedbackEvent::fields(events_[i], [&out, &first](std::string_view name, const auto& field) {
            if (!first) out += ",\n";
            first = false;
            out += "    ";
            append_json_string(out, name);
            out += ": ";
            out += write_json_text(field);
        });
        out += i + 1 < events_.size() ? "\n  },\n" : "\n  }\n";
    }
    out += ']';
    return out;
}

// The text is built before the directory is made, so that Ctrl-C while it is
// built leaves nothing behind; a directory that cannot be made is still the
// error reported first.
std::optional<IoError> FeedbackAggregator::save(const std::filesystem::path& path) const {
    std::optional<IoError> refused;
    for (const auto& event : events_) {
        refused = store::check_finite(event);
        if (refused) break;
    }
    const std::string text = refused ? std::string() : to_pretty_json();
    if (auto error = store::create_parent_dirs(path)) return error;
    if (refused) return refused;
    return store::replace_file(path, text);
}

}  // namespace vantorel::embed
