#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/expected.hpp"
#include "embed/config.hpp"
#include "embed/io_error.hpp"
#include "embed/json/json_error.hpp"
#include "embed/tuning/corpus_features.hpp"

namespace vantorel::embed {

// One meta-learning example: a corpus profile and the best configuration
// found for it, with its score. The four strings are carried unchanged.
struct MetaTrainingRecord {
    std::string corpus_id;
    CorpusFeatures features;
    PipelineConfig best_config;
    double best_score = 0.0;
    std::string metric_name;
    std::string strategy;
    std::string timestamp;

    static constexpr std::string_view kRecordName = "MetaTrainingRecord";
    static constexpr bool kFieldsHaveDefaults = false;
    template <class Self, class F>
    static void fields(Self& self, F&& f) {
        f("corpus_id", self.corpus_id);
        f("features", self.features);
        f("best_config", self.best_config);
        f("best_score", self.best_score);
        f("metric_name", self.metric_name);
        f("strategy", self.strategy);
        f("timestamp", self.timestamp);
    }

    // Compact JSON, fields in declaration order.
    [[nodiscard]] std::string to_json() const;
    static core::Expected<MetaTrainingRecord, JsonError> from_json(std::string_view text);

    // `~/.vantorel/meta_records.json`.
    static core::Expected<std::filesystem::path, IoError> default_store_path();
    // The stored records in file order; a missing store gives none.
    static core::Expected<std::vector<MetaTrainingRecord>, IoError> load_default_store();
    // Appends one record as one line; a record holding a non-finite number is
    // refused with an invalid-data error and nothing is written.
    static core::Expected<std::filesystem::path, IoError> append_to_default_store(const MetaTrainingRecord& record);

    friend bool operator==(const MetaTrainingRecord&, const MetaTrainingRecord&) = default;
};

}  // namespace vantorel::embed
