#include "python/meta/training_records.hpp"

#include "core/interrupt.hpp"

namespace vantorel::python {

std::vector<embed::MetaTrainingRecord> read_training_records(PyObject* sequence) {
    if (!PySequence_Check(sequence)) {
        try {
            raise_cast_error(sequence, "Sequence");
        } catch (const PyErrorSet&) {
            dict_detail::rethrow_python_error();
        }
    }
    std::vector<embed::MetaTrainingRecord> records;
    records.reserve(reservation_for(sequence));
    for_each_item(sequence, [&records](PyObject* item) {
        records.push_back(read_dict<embed::MetaTrainingRecord>(item));
    });
    return records;
}

Ref training_records_to_py(std::span<const embed::MetaTrainingRecord> records) {
    Ref list = new_list(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        core::check_interrupt();
        set_item(list, i, write_dict(records[i]));
    }
    return list;
}

}  // namespace vantorel::python
