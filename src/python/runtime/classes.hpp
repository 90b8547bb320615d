#pragma once

#include <cstdint>
#include <deque>
#include <new>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/invariant.hpp"
#include "python/runtime/args.hpp"
#include "python/runtime/borrow.hpp"
#include "python/runtime/errors.hpp"

namespace vantorel::python {

// Memory layout of every instance: the object header, its borrow flag and
// the one value of the system it wraps.
template <class T>
struct Instance {
    PyObject ob_base;
    BorrowFlag borrow;
    T value;
};

template <class T>
Instance<T>* as_instance(PyObject* obj) noexcept {
    return reinterpret_cast<Instance<T>*>(obj);
}

// Runs `f` on the wrapped value under a shared borrow (read-only access) or an
// exclusive one (mutable access), held for the whole call.
template <class S, class F>
decltype(auto) with_borrow(PyObject* self, F&& f) {
    using T = std::remove_const_t<S>;
    Instance<T>* obj = as_instance<T>(self);
    if constexpr (std::is_const_v<S>) {
        SharedBorrow guard(obj->borrow);
        return f(static_cast<const T&>(obj->value));
    } else {
        ExclusiveBorrow guard(obj->borrow);
        return f(obj->value);
    }
}

namespace detail {

// Captureless lambdas are read through their function-pointer form.
template <class F>
struct MethodTraits : MethodTraits<decltype(+std::declval<F>())> {};
// Ref f(const T&) / Ref f(T&): no parameters.
template <class S>
struct MethodTraits<Ref (*)(S&)> {
    using Self = S;
    static constexpr bool takes_args = false;
};
// Ref f(const T&, const Args<L>&) / Ref f(T&, const Args<L>&): declared parameters.
template <class S, const auto& L>
struct MethodTraits<Ref (*)(S&, const Args<L>&)> {
    using Self = S;
    static constexpr bool takes_args = true;
};

// Whether a binding function's last parameter is the call's arguments, and
// for which declared list.
template <class A>
struct ArgsParam {
    static constexpr bool declared = false;
};
template <const auto& L>
struct ArgsParam<const Args<L>&> {
    static constexpr bool declared = true;
    using Type = Args<L>;
};

template <class F>
struct LastParam;
template <class R>
struct LastParam<R (*)()> {
    using Type = void;
};
template <class R, class... A>
struct LastParam<R (*)(A...)> {
    using Type = std::tuple_element_t<sizeof...(A) - 1, std::tuple<A...>>;
};

// Calls Fn with `lead` and, when it reads arguments, the bound arguments
// typed by its declared list, which must be the list of P: a function and
// the table entry that registers it cannot disagree on the parameters.
template <auto Fn, const Params& P, class... Lead>
decltype(auto) call(const BoundArgs& bound, Lead&&... lead) {
    using Last = ArgsParam<typename LastParam<decltype(+Fn)>::Type>;
    if constexpr (Last::declared) {
        static_assert(Last::Type::params.data() == P.list.data(), "registered with another parameter list");
        return Fn(std::forward<Lead>(lead)..., typename Last::Type(bound));
    } else {
        static_assert(P.list.empty(), "the function reads none of its declared parameters");
        return Fn(std::forward<Lead>(lead)...);
    }
}

template <auto Fn>
PyObject* noargs_method(PyObject* self, PyObject*) {
    using Self = typename MethodTraits<decltype(Fn)>::Self;
    return guarded([&] { return with_borrow<Self>(self, [](Self& v) { return Fn(v); }); });
}

template <auto Fn, const Params& P>
PyObject* fastcall_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    using Self = typename MethodTraits<decltype(Fn)>::Self;
    return guarded([&] {
        const BoundArgs a = BoundArgs::bind(P, args, static_cast<std::size_t>(PyVectorcall_NARGS(nargs)), kwnames);
        return with_borrow<Self>(self, [&a](Self& v) { return call<Fn, P>(a, v); });
    });
}

template <auto Fn, const Params& P>
PyObject* fastcall_static(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&] {
        return call<Fn, P>(BoundArgs::bind(P, args, static_cast<std::size_t>(PyVectorcall_NARGS(nargs)), kwnames));
    });
}

template <auto Fn, const Params& P>
PyObject* fastcall_classmethod(PyObject* cls, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&] {
        return call<Fn, P>(BoundArgs::bind(P, args, static_cast<std::size_t>(PyVectorcall_NARGS(nargs)), kwnames),
                           reinterpret_cast<PyTypeObject*>(cls));
    });
}

template <class F>
PyCFunction as_cfunction(F f) noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

}  // namespace detail

// A module-level function: `Ref Fn(const Args<L>&)` with parameters P (whose
// list is L), or `Ref Fn()` when P declares none; its documentation text is
// built from P and followed by `body`.
template <auto Fn, const Params& P>
PyMethodDef& function_def(const char* body = "") {
    static const std::string doc = documentation(P.function, Receiver::None, P.list, body);
    static PyMethodDef def{P.function, detail::as_cfunction(&detail::fastcall_static<Fn, P>),
                           METH_FASTCALL | METH_KEYWORDS, doc.c_str()};
    return def;
}

// A new built-in function object for `def`, owned by `module`.
Ref new_function(PyMethodDef& def, PyObject* module);

// Declarative description of one Python class wrapping values of type T. The
// type object is built from it on first need and lives for the process.
template <class T>
class Class {
public:
    explicit Class(const char* name) : name_(name), qualified_name_(std::string("builtins.") + name) {}
    Class(const Class&) = delete;
    Class& operator=(const Class&) = delete;

    // `T Fn(const Args<L>&)` or `T Fn()`: the Python constructor; its text
    // signature, then `body`, become the class documentation.
    template <auto Fn, const Params& P>
    Class& constructor(const char* body = "") {
        check_owner(P);
        has_constructor_ = true;
        doc_ = keep(documentation(P.owner, Receiver::None, P.list, body));
        slots_.push_back({Py_tp_new, reinterpret_cast<void*>(&construct<Fn, P>)});
        return *this;
    }

    // `Ref Fn(const T&)` or `Ref Fn(T&)`: a method without parameters.
    template <auto Fn>
    Class& method(const char* name, const char* body = "") {
        static_assert(!detail::MethodTraits<decltype(Fn)>::takes_args);
        methods_.push_back({name, detail::as_cfunction(&detail::noargs_method<Fn>), METH_NOARGS,
                            keep(documentation(name, Receiver::Self, {}, body))});
        return *this;
    }

    // `Ref Fn(const T&, const Args<L>&)`: a method with parameters P.
    template <auto Fn, const Params& P>
    Class& method(const char* body = "") {
        static_assert(detail::MethodTraits<decltype(Fn)>::takes_args);
        return add(P, detail::as_cfunction(&detail::fastcall_method<Fn, P>), 0, Receiver::Self, body);
    }

    // `Ref Fn(const Args<L>&)` or `Ref Fn()`.
    template <auto Fn, const Params& P>
    Class& static_method(const char* body = "") {
        return add(P, detail::as_cfunction(&detail::fastcall_static<Fn, P>), METH_STATIC, Receiver::None, body);
    }

    // `Ref Fn(PyTypeObject* cls, const Args<L>&)`.
    template <auto Fn, const Params& P>
    Class& class_method(const char* body = "") {
        return add(P, detail::as_cfunction(&detail::fastcall_classmethod<Fn, P>), METH_CLASS, Receiver::Cls, body);
    }

    // `Ref Fn(const T&)`: a read-only attribute.
    template <auto Fn>
    Class& getter(const char* name, const char* doc = nullptr) {
        getsets_.push_back({name, &get<Fn>, nullptr, doc, nullptr});
        return *this;
    }

    // A readable and writable attribute stored in member `M` (a float or an
    // unsigned 64-bit count). A new value is converted before the object is
    // borrowed exclusively for the store, so a failed conversion keeps the old
    // value; a conversion TypeError names the attribute like an argument.
    template <auto M>
    Class& field(const char* name) {
        getsets_.push_back({name, &get<[](const T& v) { return to_py(v.*M); }>, &set_field<M>, nullptr,
                            const_cast<char*>(name)});
        return *this;
    }

    // `std::string Fn(const T&)`: repr (and str).
    template <auto Fn>
    Class& repr() {
        slots_.push_back({Py_tp_repr, reinterpret_cast<void*>(&repr_slot<Fn>)});
        return *this;
    }

    // `bool Fn(const T&, const T&)`: == between two instances of this class;
    // other types and orderings decline, `!=` negates the interpreter's own ==.
    // Defining equality leaves the class unhashable.
    template <auto Fn>
    Class& equality() {
        slots_.push_back({Py_tp_richcompare, reinterpret_cast<void*>(&compare_slot<Fn>)});
        return *this;
    }

    // `std::size_t Fn(const T&)`: len() of an instance.
    template <auto Fn>
    Class& length() {
        slots_.push_back({Py_mp_length, reinterpret_cast<void*>(&length_slot<Fn>)});
        return *this;
    }

    // `bool Fn(const T&)`: the truth value of an instance.
    template <auto Fn>
    Class& truth() {
        slots_.push_back({Py_nb_bool, reinterpret_cast<void*>(&truth_slot<Fn>)});
        return *this;
    }

    PyTypeObject* type() {
        if (type_ == nullptr) type_ = build();
        return type_;
    }

    // A new instance holding `value`.
    Ref make(T value) { return Ref::steal(wrap(type(), std::move(value))); }

    static T& value_of(PyObject* obj) noexcept { return as_instance<T>(obj)->value; }

private:
    // The declaration's class name appears in binding errors: it must be this class.
    void check_owner(const Params& p) const {
        if (p.owner == nullptr || std::string_view(p.owner) != name_) {
            core::stop("parameters declared for another class");
        }
    }

    // Documentation texts live as long as the type that points at them.
    const char* keep(std::string doc) { return docs_.emplace_back(std::move(doc)).c_str(); }

    // A method with parameters, bound by `binding` (0, METH_STATIC or METH_CLASS).
    Class& add(const Params& p, PyCFunction fn, int binding, Receiver receiver, const char* body) {
        check_owner(p);
        methods_.push_back({p.function, fn, METH_FASTCALL | METH_KEYWORDS | binding,
                            keep(documentation(p.function, receiver, p.list, body))});
        return *this;
    }

    static PyObject* wrap(PyTypeObject* type, T&& value) {
        auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
        PyObject* obj = alloc(type, 0);
        if (obj == nullptr) throw PyErrorSet{};
        Instance<T>* inst = as_instance<T>(obj);
        new (&inst->borrow) BorrowFlag();
        new (&inst->value) T(std::move(value));
        return obj;
    }

    static void dealloc(PyObject* obj) {
        PyTypeObject* type = Py_TYPE(obj);
        Instance<T>* inst = as_instance<T>(obj);
        inst->value.~T();
        inst->borrow.~BorrowFlag();
        reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free))(obj);
        Py_DECREF(type);
    }

    template <auto Fn, const Params& P>
    static PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
        return guarded([&] { return Ref::steal(wrap(type, detail::call<Fn, P>(BoundArgs::bind(P, args, kwargs))));
        });
    }

    template <auto Fn>
    static PyObject* get(PyObject* self, void*) {
        return guarded([&] { return with_borrow<const T>(self, [](const T& v) { return Fn(v); }); });
    }

    template <auto M>
    static int set_field(PyObject* self, PyObject* value, void* name) {
        using V = std::remove_cvref_t<decltype(std::declval<T&>().*M)>;
        static_assert(std::is_same_v<V, double> || std::is_same_v<V, std::uint64_t>);
        return guarded_status([&] {
            if (value == nullptr) raise(PyExc_AttributeError, "property has no deleter");
            V converted{};
            try {
                if constexpr (std::is_same_v<V, double>) {
                    converted = to_f64(value);
                } else {
                    converted = to_u64(value);
                }
            } catch (const PyErrorSet&) {
                rewrap_type_error(static_cast<const char*>(name));
            }
            with_borrow<T>(self, [converted](T& v) { v.*M = converted; });
            return 0;
        });
    }

    template <auto Fn>
    static PyObject* repr_slot(PyObject* self) {
        return guarded([&] { return with_borrow<const T>(self, [](const T& v) { return to_py(Fn(v)); }); });
    }

    template <auto Fn>
    static Py_ssize_t length_slot(PyObject* self) {
        return guarded_as<Py_ssize_t>(-1, [self] {
            return with_borrow<const T>(self, [](const T& v) { return static_cast<Py_ssize_t>(Fn(v)); });
        });
    }

    template <auto Fn>
    static int truth_slot(PyObject* self) {
        return guarded_status([self] { return with_borrow<const T>(self, [](const T& v) { return Fn(v) ? 1 : 0; }); });
    }

    template <auto Fn>
    static PyObject* compare_slot(PyObject* a, PyObject* b, int op) {
        return guarded([&]() -> Ref {
            if (op == Py_NE) {
                Ref eq = Ref::steal(PyObject_RichCompare(a, b, Py_EQ));
                const int truth = PyObject_IsTrue(eq.get());
                if (truth < 0) throw PyErrorSet{};
                return to_py_bool(truth == 0);
            }
            if (op != Py_EQ || !PyObject_TypeCheck(b, Py_TYPE(a))) return not_implemented();
            return with_borrow<const T>(a, [b](const T& x) {
                return with_borrow<const T>(b, [&x](const T& y) { return to_py_bool(Fn(x, y)); });
            });
        });
    }

    PyTypeObject* build() {
        methods_.push_back({nullptr, nullptr, 0, nullptr});
        getsets_.push_back({nullptr, nullptr, nullptr, nullptr, nullptr});
        slots_.push_back({Py_tp_dealloc, reinterpret_cast<void*>(&dealloc)});
        slots_.push_back({Py_tp_methods, methods_.data()});
        slots_.push_back({Py_tp_getset, getsets_.data()});
        if (doc_ != nullptr) slots_.push_back({Py_tp_doc, const_cast<char*>(doc_)});
        slots_.push_back({0, nullptr});
        // No base-type flag (final), no instance dict or weak references,
        // immutable type attributes.
        unsigned flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;
        if (!has_constructor_) flags |= Py_TPFLAGS_DISALLOW_INSTANTIATION;
        spec_ = PyType_Spec{qualified_name_.c_str(), static_cast<int>(sizeof(Instance<T>)), 0, flags, slots_.data()};
        PyObject* type = PyType_FromSpec(&spec_);
        if (type == nullptr) throw PyErrorSet{};
        return reinterpret_cast<PyTypeObject*>(type);
    }

    const char* name_;
    std::string qualified_name_;
    const char* doc_ = nullptr;
    std::deque<std::string> docs_;
    bool has_constructor_ = false;
    std::vector<PyMethodDef> methods_;
    std::vector<PyGetSetDef> getsets_;
    std::vector<PyType_Slot> slots_;
    PyType_Spec spec_{};
    PyTypeObject* type_ = nullptr;
};

// The type object of a class, as a new reference (for registration).
template <class T>
Ref type_object(Class<T>& cls) {
    return Ref::borrow(reinterpret_cast<PyObject*>(cls.type()));
}

}  // namespace vantorel::python
