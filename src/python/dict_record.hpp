#pragma once

// Engine records to and from Python dicts. A record lists its fields once
// (`T::fields`, the same list the JSON forms walk); these templates turn that
// list into a dict in declaration order, and read a mapping (or a dataclass
// instance) back with the record's defaults or "missing field" rules.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "embed/config.hpp"
#include "embed/json/json_error.hpp"
#include "embed/json/json_record.hpp"
#include "python/runtime/args.hpp"

namespace vantorel::python {

// A dict-form reading failure; its text goes into the caller's own message.
struct DictError {
    std::string message;
};

namespace dict_detail {

// Turns the Python exception in flight into a DictError carrying its text.
[[noreturn]] void rethrow_python_error();

// The (key, value) pairs of a mapping or of a dataclass instance's fields.
std::vector<std::pair<Ref, Ref>> entries(PyObject* obj);
std::string_view key_text(PyObject* key);

void read_field(PyObject* value, std::uint64_t& out);
void read_field(PyObject* value, double& out);
void read_field(PyObject* value, std::string& out);
void read_field(PyObject* value, embed::ProjectionKind& out);

Ref write_field(std::uint64_t v);
Ref write_field(double v);
Ref write_field(const std::string& v);
Ref write_field(embed::ProjectionKind v);

template <embed::JsonRecord T>
void read_field(PyObject* value, T& record);
template <embed::JsonRecord T>
Ref write_field(const T& record);

// Lists: a sequence other than str, read item by item with the item's own rules.
void check_list(PyObject* value);
template <class T>
void read_field(PyObject* value, std::vector<T>& out);
template <class T>
Ref write_field(const std::vector<T>& values);

template <class T>
void read_field(PyObject* value, std::vector<T>& out) {
    check_list(value);
    std::vector<T> items;
    try {
        for_each_item(value, [&items](PyObject* item) {
            T v{};
            read_field(item, v);
            items.push_back(std::move(v));
        });
    } catch (const PyErrorSet&) {
        rethrow_python_error();
    }
    out = std::move(items);
}

template <class T>
Ref write_field(const std::vector<T>& values) {
    Ref list = new_list(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) set_item(list, i, write_field(values[i]));
    return list;
}

template <embed::JsonRecord T>
void read_field(PyObject* value, T& record) {
    std::uint64_t seen = 0;
    for (const auto& [key, item] : entries(value)) {
        const std::string_view name = key_text(key.get());
        std::size_t index = 0;
        T::fields(record, [&](std::string_view field_name, auto& field) {
            const std::size_t i = index++;
            if (field_name != name) return;
            if ((seen >> i) & 1u) throw DictError{embed::json_message::duplicate_field(field_name)};
            seen |= std::uint64_t{1} << i;
            read_field(item.get(), field);
        });
    }
    if constexpr (!T::kFieldsHaveDefaults) {
        std::size_t index = 0;
        T::fields(record, [&](std::string_view field_name, auto&) {
            if (!((seen >> index++) & 1u)) throw DictError{embed::json_message::missing_field(field_name)};
        });
    }
}

// The record's field names as str objects, made once per record type and
// shared by every dict written (as the json module shares repeated keys).
// They are never freed: the interpreter may be gone when statics are destroyed.
template <embed::JsonRecord T>
const std::vector<PyObject*>& field_keys() {
    static const std::vector<PyObject*>& keys = *[] {
        auto* names = new std::vector<PyObject*>();
        const T blank{};
        T::fields(blank, [names](std::string_view name, const auto&) { names->push_back(to_py(name).release()); });
        return names;
    }();
    return keys;
}

template <embed::JsonRecord T>
Ref write_field(const T& record) {
    const std::vector<PyObject*>& keys = field_keys<T>();
    Ref dict = Ref::steal(PyDict_New());
    std::size_t index = 0;
    T::fields(record, [&dict, &keys, &index](std::string_view, const auto& field) {
        Ref value = write_field(field);
        if (PyDict_SetItem(dict.get(), keys[index++], value.get()) < 0) throw PyErrorSet{};
    });
    return dict;
}

}  // namespace dict_detail

// A record from its dict form; DictError on failure.
template <embed::JsonRecord T>
T read_dict(PyObject* obj) {
    T record{};
    dict_detail::read_field(obj, record);
    return record;
}

// A new dict of the record's fields in declaration order.
template <embed::JsonRecord T>
Ref write_dict(const T& record) {
    return dict_detail::write_field(record);
}

}  // namespace vantorel::python
