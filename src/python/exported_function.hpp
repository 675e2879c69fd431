// The fast-call entry point shared by every exported function and the method definition built on it.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "python/binding.hpp"
#include "python/errors.hpp"

namespace vendrel::python {

/// A function body: reads its bound arguments in declaration order and returns a new reference, or
/// nullptr with an exception pending.
using FunctionBody = PyObject* (*)(BoundArguments& arguments);

/// Binds the call's arguments to `kSignature` and runs `kBody`; no C++ exception gets out.
template <const Signature& kSignature, FunctionBody kBody>
PyObject* fastcall_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return guarded([&]() -> PyObject* {
        auto bound = bind(kSignature, args, nargs, kwnames);
        if (!bound) return nullptr;
        return kBody(*bound);
    });
}

/// The method definition of an exported function. `doc` starts with the text signature line, e.g.
/// "tfim_matrix(couplings, fields, basis=None)\n--\n\n", so that introspection reports it.
template <const Signature& kSignature, FunctionBody kBody>
PyMethodDef exported_function(const char* name, const char* doc) {
    return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&fastcall_entry<kSignature, kBody>)),
            METH_FASTCALL | METH_KEYWORDS, doc};
}

}  // namespace vendrel::python
