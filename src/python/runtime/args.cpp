#include "python/runtime/args.hpp"

#include <algorithm>
#include <charconv>

#include "core/format.hpp"
#include "core/invariant.hpp"

namespace vantorel::python {
namespace {

// 'a', 'a' and 'b', 'a', 'b' and 'c'
std::string join_names(const std::vector<const char*>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += names.size() > 2 ? ", " : " ";
        if (i > 0 && i + 1 == names.size()) out += "and ";
        out += '\'';
        out += names[i];
        out += '\'';
    }
    return out;
}

[[noreturn]] void raise_missing(const Params& p, const std::vector<const char*>& missing, const char* kind) {
    raise_type_error(core::format("{} missing {} required {} {}: {}", p.callable(), missing.size(), kind,
                                  missing.size() == 1 ? "argument" : "arguments", join_names(missing)));
}

// Compared as code points, so a keyword that cannot be encoded (a lone
// surrogate) is simply no match instead of an encoding error.
bool key_equals(PyObject* key, const char* name) noexcept { return PyUnicode_CompareWithASCIIString(key, name) == 0; }

// The keyword is inserted as the str it is, the way the interpreter shows it.
[[noreturn]] void raise_unexpected_keyword(const Params& p, PyObject* key) {
    Ref message = Ref::steal(
        PyUnicode_FromFormat("%s got an unexpected keyword argument '%U'", p.callable().c_str(), key));
    PyErr_SetObject(PyExc_TypeError, message.get());
    throw PyErrorSet{};
}

// A numeric default as written in the signature ("5", "0.8").
template <class T>
T read_number(std::string_view text) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) {
        core::stop(core::format("unreadable default '{}'", text));
    }
    return value;
}

}  // namespace

BoundArgs BoundArgs::bind_positional(const Params& params, PyObject* const* args, std::size_t nargs) {
    BoundArgs out(params);
    if (nargs > params.positional) {
        if (params.required == params.positional) {
            raise_type_error(core::format("{} takes {} positional arguments but {} {} given", params.callable(),
                                          params.positional, nargs, nargs == 1 ? "was" : "were"));
        }
        raise_type_error(core::format("{} takes from {} to {} positional arguments but {} {} given", params.callable(),
                                      params.required, params.positional, nargs, nargs == 1 ? "was" : "were"));
    }
    out.nargs_ = nargs;
    for (std::size_t i = 0; i < nargs; ++i) out.values_[i] = args[i];
    return out;
}

BoundArgs BoundArgs::bind(const Params& params, PyObject* const* args, std::size_t nargs, PyObject* kwnames) {
    BoundArgs out = bind_positional(params, args, nargs);
    if (kwnames != nullptr) {
        const auto nkw = static_cast<std::size_t>(PyTuple_GET_SIZE(kwnames));
        for (std::size_t k = 0; k < nkw; ++k) {
            out.bind_keyword(PyTuple_GET_ITEM(kwnames, static_cast<Py_ssize_t>(k)), args[nargs + k]);
        }
    }
    out.check_complete();
    return out;
}

BoundArgs BoundArgs::bind(const Params& params, PyObject* args, PyObject* kwargs) {
    const auto nargs = static_cast<std::size_t>(PyTuple_GET_SIZE(args));
    BoundArgs out = bind_positional(params, &PyTuple_GET_ITEM(args, 0), nargs);
    if (kwargs != nullptr) {
        Py_ssize_t pos = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(kwargs, &pos, &key, &value)) out.bind_keyword(key, value);
    }
    out.check_complete();
    return out;
}

void BoundArgs::bind_keyword(PyObject* key, PyObject* value) {
    const Params& p = *params_;
    if (!PyUnicode_Check(key)) raise_type_error("keywords must be strings");
    for (std::size_t i = 0; i < p.list.size(); ++i) {
        if (!key_equals(key, p.list[i].name)) continue;
        if (i < nargs_) {
            raise_type_error(core::format("{} got multiple values for argument '{}'", p.callable(), p.list[i].name));
        }
        values_[i] = value;
        return;
    }
    raise_unexpected_keyword(p, key);
}

void BoundArgs::check_complete() const {
    const Params& p = *params_;
    std::vector<const char*> missing;
    for (std::size_t i = 0; i < p.required; ++i) {
        if (values_[i] == nullptr) missing.push_back(p.list[i].name);
    }
    if (!missing.empty()) raise_missing(p, missing, "positional");
    for (std::size_t i = p.positional; i < p.list.size(); ++i) {
        if (values_[i] == nullptr && p.list[i].default_text == nullptr) missing.push_back(p.list[i].name);
    }
    if (!missing.empty()) raise_missing(p, missing, "keyword");
}

std::string_view BoundArgs::default_text(std::size_t i) const {
    const char* text = params_->list[i].default_text;
    if (text == nullptr || std::string_view(text) == "None") {
        core::stop(core::format("argument '{}' was omitted and has no value to default to", name(i)));
    }
    return text;
}

double BoundArgs::f64(std::size_t i) const { return given(i) ? convert(i, to_f64) : read_number<double>(default_text(i)); }

std::uint64_t BoundArgs::u64(std::size_t i) const {
    return given(i) ? convert(i, to_u64) : read_number<std::uint64_t>(default_text(i));
}

bool BoundArgs::flag(std::size_t i) const {
    if (given(i)) return convert(i, to_bool);
    const std::string_view text = default_text(i);
    if (text != "True" && text != "False") core::stop(core::format("unreadable default '{}'", text));
    return text == "True";
}

std::string BoundArgs::str(std::size_t i) const {
    if (given(i)) return convert(i, to_string);
    // A text default is shown quoted in the signature: "sphere_viz.html".
    const std::string_view text = default_text(i);
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') {
        core::stop(core::format("unreadable default '{}'", text));
    }
    return std::string(text.substr(1, text.size() - 2));
}

void rewrap_type_error(const char* name) {
    // Only an exact TypeError gets the argument prefix; other exception types
    // (OverflowError, ValueError, ...) pass through unchanged.
    PyObject* raised = PyErr_Occurred();
    if (raised == nullptr || raised != PyExc_TypeError) throw PyErrorSet{};
    Ref cause = fetch_exception();
    Ref text = Ref::steal(PyObject_Str(cause.get()));
    Ref message = Ref::steal(PyUnicode_FromFormat("argument '%s': %U", name, text.get()));
    Ref wrapped = Ref::steal(PyObject_CallOneArg(PyExc_TypeError, message.get()));
    PyException_SetCause(wrapped.get(), cause.release());
    PyErr_SetObject(PyExc_TypeError, wrapped.get());
    throw PyErrorSet{};
}

double to_f64(PyObject* obj) {
    if (PyFloat_CheckExact(obj)) return PyFloat_AS_DOUBLE(obj);
    const double v = PyFloat_AsDouble(obj);
    if (v == -1.0 && PyErr_Occurred()) throw PyErrorSet{};
    return v;
}

std::uint64_t to_u64(PyObject* obj) {
    Ref index = Ref::steal(PyNumber_Index(obj));
    const unsigned long long v = PyLong_AsUnsignedLongLong(index.get());
    if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) throw PyErrorSet{};
    return v;
}

bool to_bool(PyObject* obj) {
    if (PyBool_Check(obj)) return obj == Py_True;
    // NumPy's bool scalar counts as a bool too; ints do not.
    const std::string_view type_name = Py_TYPE(obj)->tp_name;
    if (type_name == "numpy.bool" || type_name == "numpy.bool_") {
        const int truth = PyObject_IsTrue(obj);
        if (truth < 0) throw PyErrorSet{};
        return truth == 1;
    }
    raise_cast_error(obj, "bool");
}

std::string_view to_string_view(PyObject* obj) {
    if (!PyUnicode_Check(obj)) raise_cast_error(obj, "str");
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(obj, &size);
    if (text == nullptr) throw PyErrorSet{};
    return {text, static_cast<std::size_t>(size)};
}

std::string to_string(PyObject* obj) { return std::string(to_string_view(obj)); }

std::vector<std::string> to_string_list(PyObject* obj) {
    if (PyUnicode_Check(obj)) raise_type_error("Can't extract `str` to `Vec`");
    if (!PySequence_Check(obj)) raise_cast_error(obj, "Sequence");
    std::vector<std::string> out;
    out.reserve(reservation_for(obj));
    for_each_item(obj, [&out](PyObject* item) { out.push_back(to_string(item)); });
    return out;
}

std::size_t reservation_for(PyObject* sequence) {
    constexpr Py_ssize_t kMostTrusted = Py_ssize_t{1} << 16;
    const Py_ssize_t length = PySequence_Size(sequence);
    if (length < 0) {
        PyErr_Clear();
        return 0;
    }
    return static_cast<std::size_t>(std::min(length, kMostTrusted));
}

}  // namespace vantorel::python
