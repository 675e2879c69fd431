// The module's exception classes, the error conversion rule and the guard around every entry point.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <new>
#include <stdexcept>

#include "common/interrupt.hpp"
#include <string>
#include <string_view>

namespace vendrel::python {

/// The three exported classes and the internal-failure class, created on first request and cached
/// for the life of the process (re-imports reuse them). Borrowed references; nullptr with a pending
/// exception when creation fails.
PyObject* vendrel_error_class() noexcept;
PyObject* input_error_class() noexcept;
PyObject* numerical_error_class() noexcept;
/// Derives directly from BaseException, so `except Exception` does not swallow a broken invariant.
PyObject* internal_failure_class() noexcept;

/// Sets the pending exception to an instance constructed with the single message argument.
/// Always returns nullptr so callers can `return input_error(...)`.
PyObject* input_error(std::string_view message) noexcept;
PyObject* numerical_error(std::string_view message) noexcept;
PyObject* internal_failure(std::string_view message) noexcept;

/// The interrupt check installed during every call: pending signals are handled (Ctrl-C raises
/// KeyboardInterrupt) without releasing the interpreter lock; true when a handler raised.
bool python_signals_raised() noexcept;

/// Runs `body` (returning a new reference or nullptr with a pending exception) so that no C++
/// exception reaches the interpreter: std::bad_alloc and std::length_error become MemoryError, an
/// interrupted computation returns with the signal handler's exception, anything else is an
/// internal failure.
template <class Body>
PyObject* guarded(Body&& body) noexcept {
    try {
        const InterruptCheckScope interrupts(&python_signals_raised);
        return body();
    } catch (const Interrupted&) {
        return nullptr;  // the handler's exception (KeyboardInterrupt for Ctrl-C) is pending
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (const std::length_error&) {
        // A container asked for more elements than it can ever hold: a size no memory could serve.
        return PyErr_NoMemory();
    } catch (const std::exception& error) {
        return internal_failure(error.what());
    } catch (...) {
        return internal_failure("unknown C++ exception");
    }
}

}  // namespace vendrel::python
