#include "python/dict_record.hpp"

#include "core/format.hpp"
#include "python/runtime/errors.hpp"

namespace vantorel::python::dict_detail {

void rethrow_python_error() {
    Ref exception = fetch_exception();
    Ref text = Ref::steal(PyObject_Str(exception.get()));
    throw DictError{std::string(to_string_view(text.get()))};
}

namespace {

// collections.abc.Mapping, for mappings that are not dicts.
bool is_registered_mapping(PyObject* obj) {
    static PyObject* mapping_abc = nullptr;
    if (mapping_abc == nullptr) {
        Ref abc = Ref::steal(PyImport_ImportModule("collections.abc"));
        mapping_abc = PyObject_GetAttrString(abc.get(), "Mapping");
        if (mapping_abc == nullptr) throw PyErrorSet{};
    }
    const int result = PyObject_IsInstance(obj, mapping_abc);
    if (result < 0) throw PyErrorSet{};
    return result == 1;
}

// A dataclass instance (not the class itself) exposes its fields in order.
PyObject* dataclass_fields(PyObject* obj) {
    if (PyType_Check(obj)) return nullptr;
    PyObject* fields = PyObject_GetAttrString(obj, "__dataclass_fields__");
    if (fields == nullptr) PyErr_Clear();
    return fields;
}

}  // namespace

std::vector<std::pair<Ref, Ref>> entries(PyObject* obj) {
    std::vector<std::pair<Ref, Ref>> out;
    try {
        if (PyDict_Check(obj)) {
            Py_ssize_t pos = 0;
            PyObject* key = nullptr;
            PyObject* value = nullptr;
            while (PyDict_Next(obj, &pos, &key, &value)) out.emplace_back(Ref::borrow(key), Ref::borrow(value));
            return out;
        }
        if (is_registered_mapping(obj)) {
            Ref items = Ref::steal(PyMapping_Items(obj));
            const Py_ssize_t n = PyList_GET_SIZE(items.get());
            for (Py_ssize_t i = 0; i < n; ++i) {
                PyObject* pair = PyList_GET_ITEM(items.get(), i);
                if (!PyTuple_Check(pair) || PyTuple_GET_SIZE(pair) != 2) raise_type_error("mapping items must be pairs");
                out.emplace_back(Ref::borrow(PyTuple_GET_ITEM(pair, 0)), Ref::borrow(PyTuple_GET_ITEM(pair, 1)));
            }
            return out;
        }
        if (PyObject* raw = dataclass_fields(obj)) {
            Ref fields = Ref::steal(raw);
            Ref names = Ref::steal(PyMapping_Keys(fields.get()));
            const Py_ssize_t n = PyList_GET_SIZE(names.get());
            for (Py_ssize_t i = 0; i < n; ++i) {
                PyObject* name = PyList_GET_ITEM(names.get(), i);
                out.emplace_back(Ref::borrow(name), Ref::steal(PyObject_GetAttr(obj, name)));
            }
            return out;
        }
        raise_cast_error(obj, "Mapping");
    } catch (const PyErrorSet&) {
        rethrow_python_error();
    }
}

std::string_view key_text(PyObject* key) {
    if (!PyUnicode_Check(key)) throw DictError{"dict keys must have type str"};
    try {
        return to_string_view(key);
    } catch (const PyErrorSet&) {
        rethrow_python_error();
    }
}

void read_field(PyObject* value, std::uint64_t& out) {
    try {
        out = to_u64(value);
    } catch (const PyErrorSet&) {
        rethrow_python_error();
    }
}

void read_field(PyObject* value, double& out) {
    try {
        out = to_f64(value);
    } catch (const PyErrorSet&) {
        rethrow_python_error();
    }
}

void read_field(PyObject* value, std::string& out) {
    try {
        out = to_string(value);
    } catch (const PyErrorSet&) {
        rethrow_python_error();
    }
}

void read_field(PyObject* value, embed::ProjectionKind& out) {
    PyObject* name_obj = value;
    if (PyDict_Check(value) || (!PyUnicode_Check(value) && is_registered_mapping(value))) {
        // A tagged-enum mapping: the single key names the variant, its value is ignored.
        const auto items = entries(value);
        if (items.size() != 1) throw DictError{"expected tagged enum dict to have exactly 1 key"};
        name_obj = items.front().first.get();
        if (!PyUnicode_Check(name_obj)) throw DictError{"dict keys must have type str"};
    } else if (!PyUnicode_Check(value)) {
        throw DictError{"expected either a str or dict for enum"};
    }
    const std::string_view name = key_text(name_obj);
    const auto kind = embed::projection_kind_from_name(name);
    if (!kind) throw DictError{embed::json_message::unknown_variant(name, embed::kProjectionKindNames)};
    out = *kind;
}

void check_list(PyObject* value) {
    if (PyUnicode_Check(value)) throw DictError{"Can't extract `str` to `Vec`"};
    if (!PySequence_Check(value)) {
        try {
            raise_cast_error(value, "Sequence");
        } catch (const PyErrorSet&) {
            rethrow_python_error();
        }
    }
}

Ref write_field(std::uint64_t v) { return to_py(v); }
Ref write_field(double v) { return to_py(v); }
Ref write_field(const std::string& v) { return to_py(v); }
Ref write_field(embed::ProjectionKind v) { return to_py(embed::projection_kind_name(v)); }

}  // namespace vantorel::python::dict_detail
