// Building the result dictionaries with their keys inserted in a fixed order.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <initializer_list>
#include <utility>

#include "python/owned_ref.hpp"

namespace vendrel::python {

/// A new dict holding each (key, value) in the given order; the values are borrowed and must all
/// exist. Returns nullptr with an exception pending when the dict cannot be built.
[[nodiscard]] inline PyObject* ordered_dict(std::initializer_list<std::pair<const char*, PyObject*>> items) noexcept {
    OwnedRef dict(PyDict_New());
    if (!dict) return nullptr;
    for (const auto& [key, value] : items) {
        if (PyDict_SetItemString(dict.get(), key, value) < 0) return nullptr;
    }
    return dict.release();
}

}  // namespace vendrel::python
