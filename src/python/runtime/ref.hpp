#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <string_view>
#include <utility>

namespace vantorel::python {

// Thrown when a Python exception is already set and the call must unwind.
struct PyErrorSet {};

// An owned reference to a Python object.
class Ref {
public:
    Ref() noexcept = default;
    Ref(const Ref& other) noexcept : p_(other.p_) { Py_XINCREF(p_); }
    Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    Ref& operator=(Ref other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~Ref() { Py_XDECREF(p_); }

    // Takes over a new reference; a null pointer means the call that made it
    // failed with an exception set, so unwind.
    static Ref steal(PyObject* p) {
        if (p == nullptr) throw PyErrorSet{};
        return Ref(p);
    }
    static Ref borrow(PyObject* p) noexcept {
        Py_XINCREF(p);
        return Ref(p);
    }

    [[nodiscard]] PyObject* get() const noexcept { return p_; }
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(p_, nullptr); }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    explicit Ref(PyObject* p) noexcept : p_(p) {}
    PyObject* p_ = nullptr;
};

// New Python values.
Ref to_py(double v);
Ref to_py(std::uint64_t v);
Ref to_py(std::int64_t v);
Ref to_py_bool(bool v);
Ref to_py(std::string_view text);
inline Ref none() { return Ref::borrow(Py_None); }
inline Ref not_implemented() { return Ref::borrow(Py_NotImplemented); }

// A list of `n` slots filled by `set_item`.
Ref new_list(std::size_t n);
void set_item(const Ref& list, std::size_t i, Ref item);

// The qualified name of an object's type, as shown in conversion errors.
std::string type_qualname(PyObject* obj);

}  // namespace vantorel::python
