#include "python/vectordb/record_conversion.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "core/invariant.hpp"
#include "python/embedding_input.hpp"
#include "python/runtime/args.hpp"

namespace vantorel::python {
namespace {

using vectordb::JsonValue;

// Why a metadata value cannot become JSON; shown inside "metadata value error: {}".
struct MetadataError {
    std::string text;
};

// The Python exception in flight, as a metadata failure carrying its text.
// Interrupts, exits and exhausted memory are not bad values: they pass on.
[[noreturn]] void python_failure() {
    if (!PyErr_ExceptionMatches(PyExc_Exception) || PyErr_ExceptionMatches(PyExc_MemoryError)) throw PyErrorSet{};
    Ref exception = fetch_exception();
    Ref text = Ref::steal(PyObject_Str(exception.get()));
    throw MetadataError{std::string(to_string_view(text.get()))};
}

// Runs a step that may raise a Python exception, as a metadata failure.
template <class F>
auto python_step(F&& step) {
    try {
        return step();
    } catch (const PyErrorSet&) {
        python_failure();
    }
}

[[noreturn]] void unexpected_type(PyObject* obj, const char* expected) {
    throw MetadataError{"unexpected type: '" + type_qualname(obj) + "' object is not an instance of '" + expected +
                        "'"};
}

// Instance test against an abstract class of collections.abc, looked up once.
bool is_abc_instance(PyObject* obj, const char* name, PyObject*& cached) {
    if (cached == nullptr) {
        Ref abc = Ref::steal(PyImport_ImportModule("collections.abc"));
        cached = PyObject_GetAttrString(abc.get(), name);
        if (cached == nullptr) throw PyErrorSet{};
    }
    const int result = PyObject_IsInstance(obj, cached);
    if (result < 0) throw PyErrorSet{};
    return result == 1;
}

bool is_sequence(PyObject* obj) {
    static PyObject* abc = nullptr;
    return is_abc_instance(obj, "Sequence", abc);
}

bool is_mapping(PyObject* obj) {
    static PyObject* abc = nullptr;
    return is_abc_instance(obj, "Mapping", abc);
}

bool is_dataclass_instance(PyObject* obj) {
    if (PyType_Check(obj)) return false;
    const int has = PyObject_HasAttrString(obj, "__dataclass_fields__");
    return has == 1;
}

// Guards the C stack against values nested deeper than the interpreter's recursion limit.
class Nesting {
public:
    Nesting() {
        if (Py_EnterRecursiveCall(" while converting metadata") != 0) throw PyErrorSet{};
    }
    ~Nesting() { Py_LeaveRecursiveCall(); }
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;
};

JsonValue to_json(PyObject* obj);

// Ints from -2^63 to 2^64-1 are kept exactly; wider ones within 128 bits are
// out of JSON's range, wider still beyond any conversion.
JsonValue int_to_json(PyObject* obj) {
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(obj, &overflow);
    if (value == -1 && PyErr_Occurred()) python_failure();
    if (overflow == 0) {
        return value >= 0 ? JsonValue(static_cast<std::uint64_t>(value)) : JsonValue(static_cast<std::int64_t>(value));
    }
    if (overflow > 0) {
        const unsigned long long wide = PyLong_AsUnsignedLongLong(obj);
        if (!(wide == static_cast<unsigned long long>(-1) && PyErr_Occurred())) return JsonValue(static_cast<std::uint64_t>(wide));
        PyErr_Clear();
    }
    // A negative x fits 128 signed bits exactly when ~x = -x - 1 fits 127.
    const auto bits = python_step([&] {
        Ref magnitude = overflow > 0 ? Ref::borrow(obj) : Ref::steal(PyNumber_Invert(obj));
        Ref count = Ref::steal(PyObject_CallMethod(magnitude.get(), "bit_length", nullptr));
        return to_u64(count.get());
    });
    if (bits <= (overflow > 0 ? 128u : 127u)) throw MetadataError{"JSON number out of range"};
    throw MetadataError{"int too big to convert"};
}

// JSON objects keep their keys in ascending byte order. Sorted, a repeated
// key is a run: its first place takes its last value. The entries go into
// the object's list directly, whose own inserts scan every key.
JsonValue object_from(std::vector<std::pair<std::string, JsonValue>> entries) {
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    JsonValue object = JsonValue::object();
    auto& list = static_cast<JsonValue::object_t::Container&>(object.get_ref<JsonValue::object_t&>());
    for (auto& [key, value] : entries) {
        if (!list.empty() && list.back().first == key) {
            list.back().second = std::move(value);
        } else {
            list.emplace_back(std::move(key), std::move(value));
        }
    }
    return object;
}

std::string object_key(PyObject* key) {
    if (!PyUnicode_Check(key)) unexpected_type(key, "str");
    return python_step([key] { return to_string(key); });
}

// Calls `take(key, value)` for each entry of a dict in its own order. Python
// code run by `take` may change the dict; the walk then stops and says how.
template <class F>
const char* for_each_entry(PyObject* dict, F&& take) {
    const Py_ssize_t size = PyDict_GET_SIZE(dict);
    Py_ssize_t pos = 0;
    Py_ssize_t seen = 0;
    PyObject* raw_key = nullptr;
    PyObject* raw_value = nullptr;
    while (PyDict_Next(dict, &pos, &raw_key, &raw_value)) {
        const Ref key = Ref::borrow(raw_key);
        const Ref value = Ref::borrow(raw_value);
        take(key.get(), value.get());
        ++seen;
        if (PyDict_GET_SIZE(dict) != size) return "dictionary changed size during iteration";
    }
    return seen == size ? nullptr : "dictionary keys changed during iteration";
}

JsonValue dict_to_json(PyObject* dict) {
    std::vector<std::pair<std::string, JsonValue>> entries;
    const char* changed = for_each_entry(dict, [&entries](PyObject* key, PyObject* value) {
        std::string text = object_key(key);
        entries.emplace_back(std::move(text), to_json(value));
    });
    if (changed != nullptr) throw MetadataError{changed};
    return object_from(std::move(entries));
}

JsonValue pairs_to_json(Ref pairs) {
    std::vector<std::pair<std::string, JsonValue>> entries;
    python_step([&] {
        for_each_item(pairs.get(), [&](PyObject* pair) {
            Ref key = Ref::steal(PySequence_GetItem(pair, 0));
            Ref value = Ref::steal(PySequence_GetItem(pair, 1));
            std::string text = object_key(key.get());
            entries.emplace_back(std::move(text), to_json(value.get()));
        });
    });
    return object_from(std::move(entries));
}

JsonValue array_to_json(PyObject* iterable) {
    JsonValue array = JsonValue::array();
    python_step([&] { for_each_item(iterable, [&](PyObject* item) { array.push_back(to_json(item)); }); });
    return array;
}

JsonValue dataclass_to_json(PyObject* obj) {
    Ref pairs = python_step([obj] {
        Ref dataclasses = Ref::steal(PyImport_ImportModule("dataclasses"));
        Ref fields = Ref::steal(PyObject_CallMethod(dataclasses.get(), "fields", "O", obj));
        Ref list = Ref::steal(PyList_New(0));
        for_each_item(fields.get(), [&](PyObject* field) {
            Ref name = Ref::steal(PyObject_GetAttrString(field, "name"));
            Ref value = Ref::steal(PyObject_GetAttr(obj, name.get()));
            Ref pair = Ref::steal(PyTuple_Pack(2, name.get(), value.get()));
            if (PyList_Append(list.get(), pair.get()) < 0) throw PyErrorSet{};
        });
        return list;
    });
    return pairs_to_json(std::move(pairs));
}

// The rows of the conversion table, tried in order.
JsonValue to_json(PyObject* obj) {
    const auto nesting = python_step([] { return Nesting{}; });
    if (obj == Py_None) return nullptr;
    if (PyBool_Check(obj)) return obj == Py_True;
    if (PyLong_Check(obj)) return int_to_json(obj);
    if (PyList_Check(obj) || PyTuple_Check(obj)) return array_to_json(obj);
    if (PyDict_Check(obj)) return dict_to_json(obj);
    if (PyUnicode_Check(obj)) return python_step([obj] { return JsonValue(to_string(obj)); });
    if (PyBytes_Check(obj)) throw MetadataError{"invalid type: byte array, expected any valid JSON value"};
    if (PyByteArray_Check(obj)) unexpected_type(obj, "bytes");
    if (PyFloat_Check(obj)) {
        const double v = PyFloat_AS_DOUBLE(obj);
        return std::isfinite(v) ? JsonValue(v) : JsonValue(nullptr);
    }
    if (PyAnySet_Check(obj)) return array_to_json(obj);
    if (python_step([obj] { return is_sequence(obj); })) return array_to_json(obj);
    if (python_step([obj] { return is_mapping(obj); })) {
        return pairs_to_json(python_step([obj] { return Ref::steal(PyMapping_Items(obj)); }));
    }
    if (is_dataclass_instance(obj)) return dataclass_to_json(obj);
    std::string name = "unknown";
    try {
        name = type_qualname(obj);
    } catch (const PyErrorSet&) {
        PyErr_Clear();
    }
    throw MetadataError{"unsupported type " + name};
}

JsonValue metadata_value(PyObject* value) {
    try {
        return to_json(value);
    } catch (const MetadataError& e) {
        raise_value_error("metadata value error: " + e.text);
    }
}

// The top-level entries in the dict's order.
vectordb::Metadata metadata_from(PyObject* dict) {
    vectordb::Metadata metadata;
    const char* changed = for_each_entry(dict, [&metadata](PyObject* key, PyObject* value) {
        std::string text = to_string(key);
        metadata.set(std::move(text), metadata_value(value));
    });
    if (changed != nullptr) raise_runtime_error(changed);
    return metadata;
}

// The record dict's own entry under `key` (an interned str), or null.
Ref lookup(PyObject* record, PyObject* key) {
    PyObject* value = PyDict_GetItemWithError(record, key);
    if (value == nullptr && PyErr_Occurred()) throw PyErrorSet{};
    return Ref::borrow(value);
}

// A key of the record dict, made once and kept for the process.
PyObject* record_key(const char* text) {
    PyObject* key = PyUnicode_InternFromString(text);
    if (key == nullptr) throw PyErrorSet{};
    return key;
}

}  // namespace

vectordb::VectorRecord parse_record(PyObject* record) {
    static PyObject* const id_key = record_key("id");
    static PyObject* const vector_key = record_key("vector");
    static PyObject* const metadata_key = record_key("metadata");
    vectordb::VectorRecord out;
    const Ref id = lookup(record, id_key);
    if (!id) raise_value_error("record missing 'id'");
    out.id = to_string(id.get());
    const Ref vector = lookup(record, vector_key);
    if (!vector) raise_value_error("record missing 'vector'");
    out.vector = read_vector(vector.get());
    if (const Ref metadata = lookup(record, metadata_key)) {
        if (!PyDict_Check(metadata.get())) raise_value_error("'metadata' must be a dict");
        out.metadata = metadata_from(metadata.get());
    }
    return out;
}

Ref json_to_py(const JsonValue& value) {
    const Nesting nesting;
    switch (value.type()) {
        case nlohmann::json::value_t::null: return none();
        case nlohmann::json::value_t::boolean: return to_py_bool(value.get<bool>());
        case nlohmann::json::value_t::number_unsigned: return to_py(value.get<std::uint64_t>());
        case nlohmann::json::value_t::number_integer: return to_py(value.get<std::int64_t>());
        case nlohmann::json::value_t::number_float: return to_py(value.get<double>());
        case nlohmann::json::value_t::string: return to_py(std::string_view(value.get_ref<const std::string&>()));
        case nlohmann::json::value_t::array: {
            Ref list = new_list(value.size());
            std::size_t i = 0;
            for (const JsonValue& item : value) set_item(list, i++, json_to_py(item));
            return list;
        }
        case nlohmann::json::value_t::object: {
            Ref dict = Ref::steal(PyDict_New());
            for (const auto& [key, item] : value.items()) {
                Ref k = to_py(std::string_view(key));
                Ref v = json_to_py(item);
                if (PyDict_SetItem(dict.get(), k.get(), v.get()) < 0) throw PyErrorSet{};
            }
            return dict;
        }
        case nlohmann::json::value_t::binary:
        case nlohmann::json::value_t::discarded: break;
    }
    core::stop("metadata holds a value that has no JSON form");
}

Ref search_result_to_dict(const vectordb::SearchResult& result) {
    Ref metadata = Ref::steal(PyDict_New());
    for (const auto& [key, value] : result.metadata) {
        Ref k = to_py(std::string_view(key));
        Ref v = json_to_py(value);
        if (PyDict_SetItem(metadata.get(), k.get(), v.get()) < 0) throw PyErrorSet{};
    }
    Ref dict = Ref::steal(PyDict_New());
    const auto put = [&dict](const char* key, const Ref& v) {
        if (PyDict_SetItemString(dict.get(), key, v.get()) < 0) throw PyErrorSet{};
    };
    put("id", to_py(std::string_view(result.id)));
    put("score", to_py(result.score));
    put("metadata", metadata);
    return dict;
}

void raise_store_error(const vectordb::VectorStoreError& error) { raise_runtime_error(error.message()); }

}  // namespace vantorel::python
