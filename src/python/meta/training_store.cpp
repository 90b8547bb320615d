// The training-record store in the user's home directory.
#include "python/meta/meta.hpp"
#include "python/meta/training_records.hpp"
#include "python/runtime/gil.hpp"
#include "python/store_path.hpp"

namespace vantorel::python {
namespace {

constexpr Params kLoad{nullptr, "load_default_store", {}};
constexpr Param kRecord[] = {{"record"}};
constexpr Params kAppend{nullptr, "append_to_default_store", kRecord};

Ref load_default_store() {
    return with_interrupts([] {
        auto records = embed::MetaTrainingRecord::load_default_store();
        if (!records) raise_value_error("failed to load default store: " + records.error().message());
        return training_records_to_py(*records);
    });
}

Ref append_to_default_store(const Args<kRecord>& a) {
    embed::MetaTrainingRecord record;
    try {
        record = read_dict<embed::MetaTrainingRecord>(a.object<"record">());
    } catch (const DictError& e) {
        raise_value_error("invalid record dict: " + e.message);
    }
    auto path = with_interrupts([&record] { return embed::MetaTrainingRecord::append_to_default_store(record); });
    if (!path) raise_value_error("failed to append record: " + path.error().message());
    return path_to_py(*path);
}

}  // namespace

PyMethodDef& load_default_store_def() {
    return function_def<load_default_store, kLoad>(
        "Load all training records from the default store at \"~/.vantorel/meta_records.json\".\n\n"
        "Returns a list of record dicts in store order; an empty list when the store\n"
        "does not exist yet.");
}

PyMethodDef& append_to_default_store_def() {
    return function_def<append_to_default_store, kAppend>(
        "Append one training record (a dict with the keys corpus_id, features,\n"
        "best_config, best_score, metric_name, strategy and timestamp) to the default\n"
        "store at \"~/.vantorel/meta_records.json\".\n\n"
        "Returns the absolute path of the store file.");
}

}  // namespace vantorel::python
