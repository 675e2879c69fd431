// A strong reference to a Python object that is released when it goes out of scope.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace vendrel::python {

/// Owns one reference (or none); `release` hands it on, e.g. as a function's return value.
class OwnedRef {
public:
    OwnedRef() = default;
    explicit OwnedRef(PyObject* owned) noexcept : object_(owned) {}
    OwnedRef(const OwnedRef&) = delete;
    OwnedRef& operator=(const OwnedRef&) = delete;
    OwnedRef(OwnedRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    OwnedRef& operator=(OwnedRef&& other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }
    ~OwnedRef() { Py_XDECREF(object_); }

    [[nodiscard]] PyObject* get() const noexcept { return object_; }
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }
    explicit operator bool() const noexcept { return object_ != nullptr; }

private:
    PyObject* object_ = nullptr;
};

}  // namespace vendrel::python
