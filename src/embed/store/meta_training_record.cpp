#include "embed/store/meta_training_record.hpp"

#include "embed/json/json_record.hpp"
#include "embed/store/json_lines_store.hpp"

namespace vantorel::embed {

std::string MetaTrainingRecord::to_json() const { return write_json_text(*this); }

core::Expected<MetaTrainingRecord, JsonError> MetaTrainingRecord::from_json(std::string_view text) {
    return read_json_text<MetaTrainingRecord>(text);
}

core::Expected<std::filesystem::path, IoError> MetaTrainingRecord::default_store_path() {
    return store::home_store_path("meta_records.json");
}

core::Expected<std::vector<MetaTrainingRecord>, IoError> MetaTrainingRecord::load_default_store() {
    auto path = default_store_path();
    if (!path) return core::Unexpected{std::move(path).error()};
    return store::read_records<MetaTrainingRecord>(*path);
}

core::Expected<std::filesystem::path, IoError> MetaTrainingRecord::append_to_default_store(
    const MetaTrainingRecord& record) {
    auto path = default_store_path();
    if (!path) return path;
    return store::append_record(*path, record);
}

}  // namespace vantorel::embed
