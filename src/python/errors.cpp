// Creation and caching of the module's exception classes, and raising them with a message.
#include "python/errors.hpp"

#include "python/compat.hpp"

#include <string>

namespace vendrel::python {
namespace {

// Created once per process and never released: re-imports of the module must hand out the very
// same class objects so that handlers written against an earlier import keep matching.
PyObject* g_vendrel_error = nullptr;
PyObject* g_input_error = nullptr;
PyObject* g_numerical_error = nullptr;
PyObject* g_internal_failure = nullptr;

std::string describe_pending_error() {
    PyObject* exception = compat::fetch_exception();
    if (exception == nullptr) return "no Python error was set";
    std::string text;
    if (PyObject* rendered = PyObject_Str(exception)) {
        Py_ssize_t size = 0;
        if (const char* utf8 = PyUnicode_AsUTF8AndSize(rendered, &size)) {
            text.assign(Py_TYPE(exception)->tp_name);
            text.append(": ");
            text.append(utf8, static_cast<size_t>(size));
        }
        Py_DECREF(rendered);
    }
    PyErr_Clear();
    Py_DECREF(exception);
    return text.empty() ? std::string("unprintable Python error") : text;
}

PyObject* create_internal_failure_class() {
    if (g_internal_failure == nullptr) {
        g_internal_failure = PyErr_NewExceptionWithDoc(
            "vendrel_quantum.InternalFailure",
            "A broken internal invariant of vendrel_quantum; not a subclass of Exception.",
            PyExc_BaseException, nullptr);
    }
    return g_internal_failure;
}

// Creates a class on first use; a failure is reported as an internal failure whose text names it.
PyObject* create_class(PyObject*& slot, const char* qualified_name, PyObject* base) {
    if (slot != nullptr) return slot;
    if (base == nullptr) return nullptr;
    PyObject* created = PyErr_NewException(qualified_name, base, nullptr);
    if (created == nullptr) {
        std::string message = "Failed to initialize new exception type. " + describe_pending_error();
        internal_failure(message);
        return nullptr;
    }
    slot = created;
    return slot;
}

PyObject* raise_with(PyObject* cls, std::string_view message) {
    if (cls == nullptr) return nullptr;  // creating the class failed; its error is pending
    PyObject* text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
    if (text == nullptr) return nullptr;
    PyErr_SetObject(cls, text);
    Py_DECREF(text);
    return nullptr;
}

}  // namespace

bool python_signals_raised() noexcept { return PyErr_CheckSignals() < 0; }

PyObject* vendrel_error_class() noexcept {
    return create_class(g_vendrel_error, "vendrel_quantum.VendrelError", PyExc_Exception);
}

PyObject* input_error_class() noexcept {
    return create_class(g_input_error, "vendrel_quantum.InputError", vendrel_error_class());
}

PyObject* numerical_error_class() noexcept {
    return create_class(g_numerical_error, "vendrel_quantum.NumericalError", vendrel_error_class());
}

PyObject* internal_failure_class() noexcept { return create_internal_failure_class(); }

PyObject* input_error(std::string_view message) noexcept { return raise_with(input_error_class(), message); }

PyObject* numerical_error(std::string_view message) noexcept {
    return raise_with(numerical_error_class(), message);
}

PyObject* internal_failure(std::string_view message) noexcept {
    PyObject* cls = internal_failure_class();
    if (cls == nullptr) return nullptr;
    return raise_with(cls, message);
}

}  // namespace vendrel::python
