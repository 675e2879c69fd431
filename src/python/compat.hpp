// The one place where differences between CPython versions are handled.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace vendrel::python::compat {

/// The pending exception as one owned object (nullptr when none); clears the error indicator.
inline PyObject* fetch_exception() {
#if PY_VERSION_HEX >= 0x030C0000
    return PyErr_GetRaisedException();
#else
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (type == nullptr) return nullptr;
    PyErr_NormalizeException(&type, &value, &traceback);
    if (traceback != nullptr && value != nullptr) PyException_SetTraceback(value, traceback);
    Py_XDECREF(type);
    Py_XDECREF(traceback);
    return value;
#endif
}

/// Makes `exception` (a reference that is stolen) the pending exception again.
inline void restore_exception(PyObject* exception) {
#if PY_VERSION_HEX >= 0x030C0000
    PyErr_SetRaisedException(exception);
#else
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(exception));
    Py_INCREF(type);
    PyErr_Restore(type, exception, PyException_GetTraceback(exception));
#endif
}

}  // namespace vendrel::python::compat
