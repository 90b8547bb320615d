#pragma once

#include "python/runtime/errors.hpp"
#include "python/runtime/params.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantorel::python {

// Conversions of single objects, raising the interpreter's TypeError texts
// (or OverflowError for negative counts); no argument prefix.
double to_f64(PyObject* obj);
std::uint64_t to_u64(PyObject* obj);
bool to_bool(PyObject* obj);
std::string to_string(PyObject* obj);
std::string_view to_string_view(PyObject* obj);  // valid while obj lives
std::vector<std::string> to_string_list(PyObject* obj);

// A conversion that checks that an object is an instance of `type` (shown as
// `name` in the TypeError) and gives it back.
inline auto instance_of(PyTypeObject* type, const char* name) {
    return [type, name](PyObject* obj) {
        if (!PyObject_TypeCheck(obj, type)) raise_cast_error(obj, name);
        return obj;
    };
}

// Re-raises a TypeError in flight as "argument '{name}': {message}" with the
// original as its cause; other exception types pass through unchanged.
[[noreturn]] void rewrap_type_error(const char* name);

// Arguments bound to their parameters (borrowed references, valid for the
// call), with conversions that raise the module's TypeError texts. Binding
// code reads them by name through Args<List> below, never by position.
class BoundArgs {
public:
    // Fast-call convention: positional values, then keyword values named by `kwnames`.
    static BoundArgs bind(const Params& params, PyObject* const* args, std::size_t nargs, PyObject* kwnames);
    // Tuple/dict convention of constructors.
    static BoundArgs bind(const Params& params, PyObject* args, PyObject* kwargs);

private:
    template <const auto& List>
    friend class Args;

    // The raw object; null when the argument was omitted.
    [[nodiscard]] PyObject* object(std::size_t i) const noexcept { return values_[i]; }
    // Given at all (even as None).
    [[nodiscard]] bool given(std::size_t i) const noexcept { return values_[i] != nullptr; }
    // Given and not None: what "default None" parameters test.
    [[nodiscard]] bool present(std::size_t i) const noexcept { return given(i) && values_[i] != Py_None; }

    // Converted values; an omitted argument takes its declared default (a
    // string's default is written in double quotes).
    double f64(std::size_t i) const;
    std::uint64_t u64(std::size_t i) const;
    bool flag(std::size_t i) const;
    std::string str(std::size_t i) const;

    // Runs a conversion of argument i, re-raising a TypeError from it as
    // "argument '{name}': {message}" with the original as its cause.
    template <class F>
    auto convert(std::size_t i, F&& conversion) const {
        try {
            return conversion(values_[i]);
        } catch (const PyErrorSet&) {
            rewrap_type_error(name(i));
        }
    }

    [[nodiscard]] const char* name(std::size_t i) const noexcept { return params_->list[i].name; }

    explicit BoundArgs(const Params& params) : params_(&params) {}
    static BoundArgs bind_positional(const Params& params, PyObject* const* args, std::size_t nargs);
    void bind_keyword(PyObject* key, PyObject* value);
    void check_complete() const;
    // The declared default of an omitted argument, as written in the signature.
    std::string_view default_text(std::size_t i) const;

    const Params* params_;
    std::size_t nargs_ = 0;
    std::array<PyObject*, kMaxParams> values_{};
};

// A parameter name where an argument is read: a.u64<"k">().
template <std::size_t N>
struct ParamName {
    char text[N]{};
    consteval ParamName(const char (&name)[N]) { std::copy_n(name, N, text); }
    [[nodiscard]] constexpr std::string_view view() const { return {text, N - 1}; }
};

// The arguments of a call to a callable whose parameters are declared by
// `List` (a constexpr array of Param), read by the names the list declares.
// A name the list does not hold fails to compile, and no read depends on the
// order of the declaration.
//
// No read can reach a missing argument, which would hand a null object to a
// conversion: what a parameter's declaration allows is checked where it is
// read, and any other read fails to compile.
// - A required parameter always has its argument (possibly None): every read.
// - A parameter with a value default ("5", "\"category\"") is read by f64,
//   u64, flag or str, which take that default when it is omitted.
// - A parameter whose default is None is absent when omitted or None: it is
//   read only through `optional`, which gives std::nullopt then.
template <const auto& List>
class Args {
public:
    static constexpr std::span<const Param> params{List};

private:
    template <ParamName N>
    static consteval std::size_t position() {
        for (std::size_t i = 0; i < params.size(); ++i) {
            if (std::string_view(params[i].name) == N.view()) return i;
        }
        throw "no parameter of this name is declared";
    }
    template <ParamName N>
    static constexpr std::size_t at = position<N>();

public:
    template <ParamName N>
    static constexpr bool required = params[at<N>].default_text == nullptr;
    template <ParamName N>
    static constexpr bool defaults_to_none = !required<N> && std::string_view(params[at<N>].default_text) == "None";

    explicit Args(const BoundArgs& bound) noexcept : bound_(bound) {}

    template <ParamName N>
        requires required<N>
    [[nodiscard]] PyObject* object() const noexcept {
        return bound_.object(at<N>);
    }
    template <ParamName N>
        requires(!defaults_to_none<N>)
    double f64() const {
        return bound_.f64(at<N>);
    }
    template <ParamName N>
        requires(!defaults_to_none<N>)
    std::uint64_t u64() const {
        return bound_.u64(at<N>);
    }
    template <ParamName N>
        requires(!defaults_to_none<N>)
    bool flag() const {
        return bound_.flag(at<N>);
    }
    template <ParamName N>
        requires(!defaults_to_none<N>)
    std::string str() const {
        return bound_.str(at<N>);
    }
    template <ParamName N>
        requires required<N>
    std::vector<std::string> str_list() const {
        return convert<N>(to_string_list);
    }
    // Checks that the argument is an instance of `type` (shown as `name`).
    template <ParamName N>
        requires required<N>
    PyObject* instance(PyTypeObject* type, const char* name) const {
        return convert<N>(instance_of(type, name));
    }
    // Runs a conversion of the argument, re-raising a TypeError from it as
    // "argument '{name}': {message}" with the original as its cause.
    template <ParamName N, class F>
        requires required<N>
    auto convert(F&& conversion) const {
        return bound_.convert(at<N>, std::forward<F>(conversion));
    }

    // A parameter whose default is None: its object when given and not None.
    template <ParamName N>
        requires defaults_to_none<N>
    [[nodiscard]] std::optional<PyObject*> optional() const noexcept {
        if (!bound_.present(at<N>)) return std::nullopt;
        return bound_.object(at<N>);
    }
    // The same, converted as `convert` does (to_f64, to_u64, to_string,
    // to_string_list, instance_of(...) or any other conversion).
    template <ParamName N, class F>
        requires defaults_to_none<N>
    auto optional(F&& conversion) const -> std::optional<decltype(conversion(std::declval<PyObject*>()))> {
        if (!bound_.present(at<N>)) return std::nullopt;
        return bound_.convert(at<N>, std::forward<F>(conversion));
    }

private:
    const BoundArgs& bound_;
};

// How many items to reserve before reading a sequence: its length, but never
// more than a modest bound, because `__len__` may promise more than iteration
// yields; storage grows with the items that really arrive.
std::size_t reservation_for(PyObject* sequence);

// Calls `take(item)` for each item of an iterable, in order. Long iterations
// stay interruptible: pending signals (Ctrl-C) are honoured between items.
template <class F>
void for_each_item(PyObject* iterable, F&& take) {
    Ref iter = Ref::steal(PyObject_GetIter(iterable));
    std::size_t count = 0;
    while (PyObject* raw = PyIter_Next(iter.get())) {
        Ref item = Ref::steal(raw);
        take(item.get());
        if (++count % 4096 == 0 && PyErr_CheckSignals() < 0) throw PyErrorSet{};
    }
    if (PyErr_Occurred()) throw PyErrorSet{};
}

}  // namespace vantorel::python
