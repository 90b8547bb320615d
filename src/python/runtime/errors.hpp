#pragma once

#include "python/runtime/ref.hpp"

#include <string>
#include <string_view>
#include <utility>

namespace vantorel::python {

// Sets a Python exception of `type` with the whole of `message` (NUL bytes
// included; bytes that are not UTF-8 show as U+FFFD) and unwinds.
[[noreturn]] void raise(PyObject* type, std::string_view message);
[[noreturn]] inline void raise_value_error(std::string_view m) { raise(PyExc_ValueError, m); }
[[noreturn]] inline void raise_type_error(std::string_view m) { raise(PyExc_TypeError, m); }
[[noreturn]] inline void raise_runtime_error(std::string_view m) { raise(PyExc_RuntimeError, m); }

// "'{type}' object is not an instance of '{expected}'" ("'None' is not an
// instance of '{expected}'" for None), the text of a failed cast.
[[noreturn]] void raise_cast_error(PyObject* obj, std::string_view expected);

// Takes the exception in flight out of the interpreter, normalised.
Ref fetch_exception();

// Exception type for broken invariants: derived from BaseException so that
// `except Exception` does not swallow a bug. Created on first use.
PyObject* panic_exception_type();

// Turns the exception in flight (inside a catch block) into a Python exception.
void translate_current_exception() noexcept;

// Rethrows the exception in flight (inside a catch block) when it is the
// unwind that ends a thread (abi::__forced_unwind, a daemon thread taking the
// interpreter lock back at exit): swallowing it would abort the process.
// Returns for any other exception.
void pass_thread_end();

// Runs `body` and returns its result, or `failed` with the exception it threw
// set in the interpreter. A thread being ended is let through.
template <class R, class F>
R guarded_as(R failed, F&& body) {
    try {
        return body();
    } catch (...) {
        pass_thread_end();
        translate_current_exception();
        return failed;
    }
}

// Runs `body` (returning a Ref) and hands its result to the interpreter;
// nothing thrown inside ever crosses into the interpreter.
template <class F>
PyObject* guarded(F&& body) {
    return guarded_as<PyObject*>(nullptr, [&body] { return body().release(); });
}

// Same for slots that report failure as -1.
template <class F>
int guarded_status(F&& body) {
    return guarded_as(-1, std::forward<F>(body));
}

}  // namespace vantorel::python
