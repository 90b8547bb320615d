#pragma once

// Training records to and from their Python dict form.
#include <span>
#include <vector>

#include "embed/store/meta_training_record.hpp"
#include "python/dict_record.hpp"

namespace vantorel::python {

// The records of a sequence of training-record dicts; DictError when the
// object is no sequence or an item is no complete record.
std::vector<embed::MetaTrainingRecord> read_training_records(PyObject* sequence);

// A new list of training-record dicts, in order.
Ref training_records_to_py(std::span<const embed::MetaTrainingRecord> records);

}  // namespace vantorel::python
