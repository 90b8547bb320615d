#include "python/embedding_input.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <string_view>

#include "core/format.hpp"
#include "core/parallel.hpp"
#include "python/runtime/args.hpp"
#include "python/runtime/errors.hpp"

namespace vantorel::python {
namespace {

enum class Element { Float64, Float32, Other };

constexpr std::size_t kAllFinite = std::numeric_limits<std::size_t>::max();

// Copies in[begin, end) to out[begin, end) as doubles; returns the index of the
// first non-finite value there, or kAllFinite.
template <class In>
std::size_t widen(const In* in, std::size_t begin, std::size_t end, double* out) noexcept {
    std::size_t first_bad = kAllFinite;
    for (std::size_t i = begin; i < end; ++i) {
        const double v = static_cast<double>(in[i]);
        out[i] = v;
        if (!std::isfinite(v) && first_bad == kAllFinite) first_bad = i;
    }
    return first_bad;
}

// The ndarray type if NumPy has been imported by someone; arrays cannot exist
// otherwise, and importing NumPy ourselves is not needed to recognise them.
PyTypeObject* ndarray_type() {
    static PyObject* cached = nullptr;
    if (cached != nullptr) return reinterpret_cast<PyTypeObject*>(cached);
    Ref name = Ref::steal(PyUnicode_FromString("numpy"));
    PyObject* numpy = PyImport_GetModule(name.get());
    if (numpy == nullptr) {
        if (PyErr_Occurred()) throw PyErrorSet{};
        return nullptr;
    }
    Ref module = Ref::steal(numpy);
    PyObject* type = PyObject_GetAttrString(module.get(), "ndarray");
    if (type == nullptr || !PyType_Check(type)) {
        Py_XDECREF(type);
        PyErr_Clear();
        return nullptr;
    }
    cached = type;
    return reinterpret_cast<PyTypeObject*>(cached);
}

Element element_of(const Py_buffer& view) {
    if (view.format == nullptr) return Element::Other;
    std::string_view f(view.format);
    if (f.size() == 2 && (f[0] == '@' || f[0] == '=' || f[0] == (std::endian::native == std::endian::little ? '<' : '>'))) {
        f.remove_prefix(1);
    }
    if (f == "d" && view.itemsize == 8) return Element::Float64;
    if (f == "f" && view.itemsize == 4) return Element::Float32;
    return Element::Other;
}

// A read-only view of an ndarray of float64/float32 with the wanted number of
// dimensions; released on scope exit.
class ArrayView {
public:
    ArrayView(PyObject* obj, int ndim) {
        PyTypeObject* ndarray = ndarray_type();
        if (ndarray == nullptr || !PyObject_TypeCheck(obj, ndarray)) return;
        if (PyObject_GetBuffer(obj, &view_, PyBUF_RECORDS_RO) < 0) {
            PyErr_Clear();
            return;
        }
        held_ = true;
        element_ = view_.ndim == ndim ? element_of(view_) : Element::Other;
    }
    ~ArrayView() {
        if (held_) PyBuffer_Release(&view_);
    }
    ArrayView(const ArrayView&) = delete;
    ArrayView& operator=(const ArrayView&) = delete;

    [[nodiscard]] bool usable() const noexcept { return held_ && element_ != Element::Other; }
    [[nodiscard]] std::size_t extent(int axis) const noexcept { return static_cast<std::size_t>(view_.shape[axis]); }

    // Copies all values widened to double into `out` and returns the index of
    // the first non-finite one (out.size() when all are finite). Row-major
    // contiguity and alignment are required. Large blocks are copied in fixed
    // chunks in parallel; the first non-finite index is the same either way.
    std::size_t copy_to(std::span<double> out) const {
        const std::size_t item = element_ == Element::Float64 ? sizeof(double) : sizeof(float);
        const auto address = reinterpret_cast<std::uintptr_t>(view_.buf);
        if (view_.buf == nullptr || address % item != 0 || !PyBuffer_IsContiguous(&view_, 'C')) {
            raise_type_error("The given array is not contiguous or is misaligned.");
        }
        constexpr std::size_t kChunk = std::size_t{1} << 16;
        const std::size_t chunks = (out.size() + kChunk - 1) / kChunk;
        std::vector<std::size_t> first_bad(chunks, kAllFinite);
        const auto copy_chunk = [&](std::size_t c) {
            const std::size_t begin = c * kChunk;
            const std::size_t end = std::min(out.size(), begin + kChunk);
            first_bad[c] = element_ == Element::Float64
                               ? widen(static_cast<const double*>(view_.buf), begin, end, out.data())
                               : widen(static_cast<const float*>(view_.buf), begin, end, out.data());
        };
        core::for_each_index(chunks, copy_chunk);
        const auto bad = std::min_element(first_bad.begin(), first_bad.end());
        return bad == first_bad.end() || *bad == kAllFinite ? out.size() : *bad;
    }

    // The values of a one-dimensional view in index order, widened to double,
    // whatever its stride or alignment: the values its items give as a sequence.
    [[nodiscard]] std::vector<double> elements() const {
        return element_ == Element::Float64 ? strided<double>() : strided<float>();
    }

private:
    template <class In>
    [[nodiscard]] std::vector<double> strided() const {
        std::vector<double> out(extent(0));
        const char* at = static_cast<const char*>(view_.buf);
        if (view_.strides[0] == static_cast<Py_ssize_t>(sizeof(In)) &&
            reinterpret_cast<std::uintptr_t>(at) % alignof(In) == 0) {
            const auto* items = reinterpret_cast<const In*>(at);
            std::copy(items, items + out.size(), out.begin());
            return out;
        }
        for (double& value : out) {
            In item;
            std::memcpy(&item, at, sizeof item);
            value = static_cast<double>(item);
            at += view_.strides[0];
        }
        return out;
    }

    Py_buffer view_{};
    bool held_ = false;
    Element element_ = Element::Other;
};

[[noreturn]] void raise_not_finite_at(double v, std::size_t index) {
    raise_value_error(core::format("embedding values must be finite (no NaN or Inf), found {} at index {}", v, index));
}

void validate_finite(std::span<const double> values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!std::isfinite(values[i])) raise_not_finite_at(values[i], i);
    }
}

// The general path: a sequence (not a str) whose items convert to float.
void append_sequence(PyObject* obj, std::vector<double>& out) {
    if (PyUnicode_Check(obj)) raise_type_error("Can't extract `str` to `Vec`");
    if (!PySequence_Check(obj)) raise_cast_error(obj, "Sequence");
    out.reserve(out.size() + reservation_for(obj));
    for_each_item(obj, [&out](PyObject* item) { out.push_back(to_f64(item)); });
}

// The number of items of a list, tuple or NumPy array, whose lengths never
// overstate what iteration yields; nothing for other sequences.
std::optional<std::size_t> exact_length(PyObject* obj) {
    if (PyList_Check(obj)) return static_cast<std::size_t>(PyList_GET_SIZE(obj));
    if (PyTuple_Check(obj)) return static_cast<std::size_t>(PyTuple_GET_SIZE(obj));
    PyTypeObject* ndarray = ndarray_type();
    if (ndarray == nullptr || !PyObject_TypeCheck(obj, ndarray)) return std::nullopt;
    const Py_ssize_t length = PySequence_Size(obj);
    if (length < 0) {
        PyErr_Clear();
        return std::nullopt;
    }
    return static_cast<std::size_t>(length);
}

}  // namespace

std::vector<double> read_vector(PyObject* obj) {
    const ArrayView array(obj, 1);
    if (array.usable()) return array.elements();
    std::vector<double> values;
    append_sequence(obj, values);
    return values;
}

std::vector<double> read_finite_vector(PyObject* obj) {
    std::vector<double> values = read_vector(obj);
    validate_finite(values);
    return values;
}

std::vector<double> extract_embedding(PyObject* obj) {
    std::vector<double> values;
    const ArrayView array(obj, 1);
    if (array.usable()) {
        values.resize(array.extent(0));
        if (!values.empty()) array.copy_to(values);
    } else {
        append_sequence(obj, values);
    }
    validate_finite(values);
    return values;
}

embed::Corpus extract_embeddings_2d(PyObject* obj) {
    {
        const ArrayView array(obj, 2);
        if (array.usable()) {
            embed::Corpus corpus = embed::Corpus::shaped(array.extent(0), array.extent(1));
            const std::span<double> values = corpus.mutable_values();
            if (!values.empty()) {
                const std::size_t bad = array.copy_to(values);
                if (bad < values.size()) raise_not_finite_at(values[bad], bad);
            }
            return corpus;
        }
    }
    embed::Corpus corpus = extract_nested_rows(obj);
    // Every row is converted before any value is judged, so a conversion
    // error in a later row wins over a non-finite value in an earlier one.
    reject_non_finite_rows(corpus);
    return corpus;
}

embed::Corpus extract_nested_rows(PyObject* obj) {
    if (PyUnicode_Check(obj)) raise_type_error("Can't extract `str` to `Vec`");
    if (!PySequence_Check(obj)) raise_cast_error(obj, "Sequence");
    embed::Corpus corpus;
    // Sized up front when the length is known for sure, so that a count of
    // rows no memory could hold fails at once instead of row by row.
    if (const auto rows = exact_length(obj)) corpus.reserve_rows(*rows);
    std::vector<double> row;
    for_each_item(obj, [&](PyObject* item) {
        row.clear();
        append_sequence(item, row);
        corpus.push_row(row);
    });
    return corpus;
}

void reject_non_finite_rows(const embed::Corpus& corpus) {
    for (std::size_t r = 0; r < corpus.size(); ++r) {
        const auto values = corpus[r];
        for (std::size_t c = 0; c < values.size(); ++c) {
            if (!std::isfinite(values[c])) {
                raise_value_error(core::format("embedding values must be finite (no NaN or Inf), found {} at [{}][{}]",
                                               values[c], r, c));
            }
        }
    }
}

void reject_ragged_rows(const embed::Corpus& corpus) {
    const std::size_t row = corpus.first_ragged_row();
    if (row < corpus.size()) {
        raise_value_error(core::format("embedding {} has dimension {}, expected {}", row, corpus[row].size(),
                                       corpus[0].size()));
    }
}

embed::RadialStrategy parse_radial(PyObject* obj) {
    if (PyUnicode_Check(obj)) {
        const std::string_view text = to_string_view(obj);
        if (text == "magnitude") return embed::RadialStrategy::magnitude();
        raise_value_error(core::format("unknown radial strategy '{}': expected 'magnitude' or a float", text));
    }
    const double value = PyFloat_AsDouble(obj);
    // A radius must be a number the geometry can use: NaN and infinities are
    // refused like any other non-radius.
    if ((value == -1.0 && PyErr_Occurred()) || !std::isfinite(value)) {
        PyErr_Clear();
        raise_value_error("radial must be 'magnitude' or a float value");
    }
    return embed::RadialStrategy::fixed(value);
}

void check_query_dim(std::size_t expected, std::size_t got) {
    if (expected != got) raise_value_error(core::format("query dimension mismatch: expected {}, got {}", expected, got));
}

}  // namespace vantorel::python
